#include "server/config_file.h"

#include <set>
#include <yaml-cpp/yaml.h>

namespace panelgrab::server {

namespace {

const std::set<std::string> kTopKeys = {"listen", "token_file", "no_auth", "peers", "phones"};
const std::set<std::string> kPhoneKeys = {"name", "port", "baud"};

bool CheckKeys(const YAML::Node& map, const std::set<std::string>& known, const std::string& where,
               std::string& error) {
    for (const auto& entry : map) {
        const std::string key = entry.first.as<std::string>();
        if (!known.contains(key)) {
            error = where + "unknown key \"" + key + "\"";
            return false;
        }
    }
    return true;
}

bool LoadPhone(const YAML::Node& node, std::size_t index, ServerOptions& options, std::string& error) {
    const std::string where = "phones[" + std::to_string(index) + "]: ";
    if (!node.IsMap() || !CheckKeys(node, kPhoneKeys, where, error)) {
        error = error.empty() ? where + "expected {name, port, baud}" : error;
        return false;
    }
    if (!node["name"] || !node["port"]) {
        error = where + "needs a name and a port";
        return false;
    }
    std::string text = node["name"].as<std::string>() + "=" + node["port"].as<std::string>();
    if (node["baud"]) {
        text += "@" + node["baud"].as<std::string>();
    }
    const std::optional<PhoneConfig> entry = ParsePhoneConfig(text, error);
    if (!entry) {
        error = where + error;
        return false;
    }
    options.phones.push_back(*entry);
    return true;
}

bool LoadTop(const YAML::Node& root, ServerOptions& options, std::string& error) {
    if (!root.IsMap() || !CheckKeys(root, kTopKeys, "", error)) {
        error = error.empty() ? "expected a map of settings" : error;
        return false;
    }
    if (root["listen"] && !SetListenAddress(root["listen"].as<std::string>(), options, error)) {
        return false;
    }
    if (root["token_file"]) {
        options.tokenFile = root["token_file"].as<std::string>();
    }
    if (root["no_auth"]) {
        options.noAuth = root["no_auth"].as<bool>();
    }
    for (const YAML::Node& peer : root["peers"]) {
        options.peers.push_back(peer.as<std::string>());
    }
    std::size_t index = 0;
    for (const YAML::Node& phone : root["phones"]) {
        if (!LoadPhone(phone, index++, options, error)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool LoadConfigFile(const std::string& path, ServerOptions& options, std::string& error) {
    try {
        if (!LoadTop(YAML::LoadFile(path), options, error)) {
            error = path + ": " + error;
            return false;
        }
        return true;
    } catch (const YAML::Exception& problem) {
        error = path + ": " + problem.what();
        return false;
    }
}

} // namespace panelgrab::server
