// The plain scan through the switch, the form short programs run in: a file of its own so
// that it alone is compiled with what its threaded dispatch needs (core/CMakeLists.txt), and
// the other forms keep the code they have.
#include "core/decoded_scan.h"

namespace kvx {

template bool DecodedProgram::scan<false, false, false>(CPU&, HaltedScan&, bool, ScanObserver*,
                                                        HaltCheck*) const;

} // namespace kvx
