// The texts of the admin pages' safeguards (the confirmation asked for a
// change that did not come with the admin token, options the web may not
// change, a remote proxy that is this proxy), in the three languages of the
// `language` option. Kept apart from the numbered table of LanguageTable.h.
#pragma once

#include <cstdint>

enum class GuardText : uint32_t {
    CONFIRM_TITLE,       // heading of the confirmation page
    CONFIRM_EXPLANATION, // why nothing was changed
    CONFIRM_REQUESTED,   // label before the requested change
    CONFIRM_BUTTON,      // the confirm button
    NOT_ON_THE_WEB,      // an option that changes only on the command line
    PROXY_IS_SELF,       // the remote proxy would be this proxy
};

// The text in a language (0 english, 1 deutsch, 2 dutch; beyond: English).
const char* guard_text(GuardText which, uint32_t language);
