// Secrets of one run: tickets, tokens and nonces that a page or program must not guess.
#pragma once

#include <QString>

namespace tavrin::ui {

// 128 bits from the system's random source, as 32 hex digits.
QString RandomSecret();

}  // namespace tavrin::ui
