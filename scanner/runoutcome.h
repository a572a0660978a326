// What a run ended with, for whoever tells the user about it afterwards (the desktop notification
// of headless runs): the exit status, the failure that ended it, and the messages that need
// someone's attention.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct RunOutcome {
    enum class Finding { Infected, NotFullyChecked };

    struct Message {
        Finding finding;
        QByteArray from; // the header values as the server sent them ("" when absent)
        QByteArray subject;
        QString detail; // the definitions or signatures found, or why it was not fully checked
    };

    int exitCode = 0;
    // The error that ended the run or made it fail; empty for a run that ended as it should.
    QString failure;
    QList<Message> messages;
    // The server carried out the deletions (QUIT answered "+OK").
    bool committed = false;

    bool hasFinding(Finding finding) const
    {
        for (const Message& message : messages) {
            if (message.finding == finding) {
                return true;
            }
        }
        return false;
    }
};
