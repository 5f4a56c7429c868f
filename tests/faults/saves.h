#pragma once
// The saves of the windows as a user makes them, for the scenarios that break them: a
// file with a card, a meeting and yesterday's diary entry, a window opened on the shared
// connection with its fields filled in, the boxes the save asks and shows, and whether
// the file holds what it saved.

#include "platform/adodb.h"
#include "widgets/msgbox.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace faults {

// The card 张三, the meeting 周会 of 2026-12-08 and the diary entry of 2026-12-07.
void seedRows(adodb::Connection& conn);
// Every row of every table, table by table.
QList<QStringList> everything(adodb::Connection& conn);

struct Save {
    QString name;
    std::unique_ptr<QDialog> window;
    std::function<void()> act;                      // presses the button
    QList<msgbox::Box> asked;                       // the questions before the write (answered OK)
    QString done;                                   // the box that tells of success
    std::function<bool(adodb::Connection&)> inFile; // the file holds what it saved
};

// card add, card change, card delete, meeting add, meeting change, diary save
QStringList saveNames();
// The window of the save, opened on the shared connection (which must be open) while
// the clock says 2026-12-08 10:00.
Save prepareSave(const QString& name);

} // namespace faults
