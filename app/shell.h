#pragma once

#include <QString>

class Form1;

// The program's shell: the windows stand on the layers below and never on each other, so
// the one place that knows them all opens the ones the ledger asks for.
namespace shell {

// Opens, on the ledger's requests, the chrono calculator, the followed horses (whole, or at
// one horse), the day's card and the statistics of the statement on display.
void connectWindows(Form1* ledger);

// The ledger as the program shows it: deleted when closed, its requests answered. With a
// reason, the file could not be locked: the ledger shows it read-only, and why.
Form1* openLedger(const QString& readOnlyReason = QString());

} // namespace shell
