// Helpers shared by the loader tests.
#pragma once

#include <string>

#include "core/common.h"

namespace kvx {

// The text of the CPUException that `action` throws, or "(no error)".
template <typename Action>
std::string errorOf(Action&& action) {
    try {
        action();
    } catch (const CPUException& e) {
        return e.getText();
    }
    return "(no error)";
}

} // namespace kvx
