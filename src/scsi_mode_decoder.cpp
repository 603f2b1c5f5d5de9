#include "scsi_mode_decoder.h"

// Not decoded yet: every answer is refused and the text is left as it is.
bool ParseModeSense(std::string&, const u8*, u32, u32, void*) { return false; }
