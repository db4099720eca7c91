#pragma once

#include <QChar>

namespace ValidatorRules {

// An ASCII digit, or a non-ASCII UTF-16 unit that Unicode counts as a number
// (decimal digit, letter number, other number). Surrogate halves are not.
inline bool isDigitUnit(QChar c)
{
    if (c.unicode() <= 127)
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    return c.isNumber();
}

} // namespace ValidatorRules
