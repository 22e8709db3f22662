// How the window marks a forced operand, wherever it lists one: the watch table's rows and the
// program status's operands look the same, so a force is recognised in either.
#pragma once

#include <QColor>

namespace kvx {

inline QColor forcedBackground() {
    return {255, 236, 140};
}

} // namespace kvx
