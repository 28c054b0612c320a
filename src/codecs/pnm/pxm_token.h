// The PNM header tokenizer, shared by the PNM reader and content detection.
#pragma once

#include <string>

namespace lumora {

class TLmStream;

// Reads one token from the stream's position: skips bytes up to an ASCII
// letter, digit or "#"; a "#" comment runs to the end of the line (the line
// end is consumed) and comes back as "#" + its text trimmed of blanks and
// control characters; otherwise the run of letters and digits, with the one
// byte after it consumed. Empty at the end of the stream.
std::string PxmReadToken(TLmStream& stream);

}  // namespace lumora
