// Placeholder: filled in by its module.
namespace panelgrab {}
