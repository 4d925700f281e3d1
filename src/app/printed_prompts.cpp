#include "app/printed_prompts.h"

#include <cstdio>

namespace panelgrab {
namespace {

void Print(const QString& line) {
    std::fprintf(stderr, "panelgrab: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

void PrintedPrompts::ShowMessage(QWidget*, const QString& text, const QString& detail) {
    Print(detail.isEmpty() ? text : text + QStringLiteral(": ") + detail);
}

bool PrintedPrompts::AskYesNo(QWidget*, const QString& text) {
    Print(text + QStringLiteral(" (answered No)"));
    return false;
}

void PrintedPrompts::ShowError(QWidget*, const QString& caption, const QString& text) {
    Print(caption + QStringLiteral(": ") + text);
}

QString PrintedPrompts::AskSaveFileName(QWidget*, const QString& title, const QString&, const QString&) {
    Print(title + QStringLiteral(" (cancelled)"));
    return {};
}

} // namespace panelgrab
