// Continuous reading as the rest of the library sees it.
#pragma once

#include "brenholt.h"

namespace brenholt {

// The reader behind handle is being closed: when it is the one being read,
// reading stops (its timer is killed) and there is no current reader.
void forgetReader(brnHandle handle);

} // namespace brenholt
