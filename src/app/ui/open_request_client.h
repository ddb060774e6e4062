#pragma once
// The sending end of the open requests, shared by the desktop's helper vtl-open and by a second
// start of vtl: the names are made absolute where they were given (the running program works in
// another folder) and sent as one execute macro to the running program's socket.
//
// Only QtCore and QtNetwork are used here: vtl-open, which has no windows, builds this file too.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace vtl::app::ui {

// The macro for `arguments`: every name made absolute against the current folder, setting files
// included, one a line in double quotes.
QByteArray OpenMacroFor(const QStringList& arguments);

// Connects to `server`, writes the whole macro and closes. True when every byte was handed over.
bool SendOpenRequest(const QString& server, const QByteArray& macro);

// Sends the macro, trying again every 100 ms until it goes through or `waitMs` have passed. A
// starting program listens only once its window stands. `stop`, asked between tries, ends the
// waiting early (it returns true). True when the macro was sent.
bool SendOpenRequestWithin(const QString& server, const QByteArray& macro, int waitMs,
    const std::function<bool()>& stop = {});

// How long a sender waits for the program to answer: `defaultMs`, or VTL_OPEN_WAIT seconds (tests).
int OpenRequestWaitMs(int defaultMs);

// What the sender prints when nothing answered: which socket, and every name that was not opened,
// so that none is lost without a word.
QString NotAnsweredMessage(const QString& sender, const QString& server, const QStringList& names);

} // namespace vtl::app::ui
