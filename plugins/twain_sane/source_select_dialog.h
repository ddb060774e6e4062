#pragma once
// The manager's source selection window: every device SANE finds, the current source selected.

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace vtl::twain_sane {

struct DeviceEntry {
    std::string name; // SANE's device name, what the manager remembers
    std::string vendor;
    std::string model;
};

// Shows the list modally; the chosen device's name, or nothing when the user cancelled.
std::optional<std::string> ChooseSource(
    QWidget* parent, const std::vector<DeviceEntry>& devices, const std::string& current);

} // namespace vtl::twain_sane
