#pragma once

#include "core/messages.h"

#include <string>

namespace clipnest {

// The design-time text of a message's panel (CR LF line breaks, with the blanks that place the words inside the red
// box), for the messages whose words are fixed; empty for FileFailure and Notice.
std::string panelDesignText(Message message);

// What a message's panel shows (code-page text): the design's text while the message says its fixed words; otherwise
// its words, a line each, below a blank line and above "(Click to close)" (the invalid-name message as it is).
std::string panelText(Message message, const std::string& words);

} // namespace clipnest
