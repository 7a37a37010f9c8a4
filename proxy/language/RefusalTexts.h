// The texts of the page that refuses a request, in English, German and
// Dutch: an introduction and one reason per way a head can be refused, in
// the order of HeadFault (http/HeadRules.h), so that reason n is fault n.
#pragma once

#include <cstdint>

constexpr uint32_t REFUSAL_REASON_COUNT = 12; // reason 0 is "no fault"

// "... refused your request:" in a language (0 english, 1 deutsch, 2 dutch;
// anything else gives English).
const char* refusal_intro(uint32_t language);
// The reason in a language; "" for a number beyond the table.
const char* refusal_reason(uint32_t reason, uint32_t language);
