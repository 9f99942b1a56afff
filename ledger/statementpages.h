#pragma once

#include "ledger/statement.h"

class QPagedPaintDevice;

namespace exports {

// Paints the statement's pages onto a PDF writer or a printer whose paper and margins are
// set: every page titled "Relevé de <joueur> — <mois>", with the column header and
// "Page n / N" at its foot, the summary after the last line. Amounts print whole on one
// line; the texts wrap. The page turns to landscape when the columns cannot fit across it.
// The pages are laid out in the same units on any device, so a printer gets the PDF's
// pages. False when the device cannot be painted on.
bool paintStatement(const ledger::MonthStatement& statement, QPagedPaintDevice& device);

} // namespace exports
