#pragma once

#include "foundation/logging/LineReader.h"
#include "foundation/logging/NextWhere.h"

// A number written in groups as the numbers the mask hides are: a phone number of 11 digits,
// after a country code or not ("+86 138 0000 0000"), and an ID-card number of 17 digits and a
// check digit or X ("110101 19900307 044X").
namespace DigitGroups {

// Where the value from `start` to `firstEnd` ends with the groups that are its own, when it is a
// number: groups follow past blanks, dashes, the no-break, thin and ideographic spaces, in any
// encoding the reader knows, each up to where `ends` says, while they can still make one such
// number and no longer once they have.
qsizetype end(const LineReader& reader, qsizetype start, qsizetype firstEnd, NextWhere& ends,
              bool form);

}  // namespace DigitGroups
