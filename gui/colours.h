#pragma once

#include <QColor>

// The colours the punter reads his money by: stakes and losses in red, wins and gains in
// green, credits and a zero balance in black, the same in every window and export.
namespace colours {

inline const QColor kRed(255, 0, 0);
inline const QColor kGreen(0, 255, 0);
inline const QColor kBlack(0, 0, 0);

} // namespace colours
