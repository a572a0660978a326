// A control logged in to the scripted fake server: the start of most control scenarios.
#pragma once

#include "control/vorlane.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/filebytes.h"

#include <QFile>
#include <gtest/gtest.h>

// The login FakeSession scripts: 9 messages of 1000 octets in all.
inline const QString kFakeSessionLogin = kFakeLoginUntilStat + "S: +OK 9 1000\n";

// The script logs bob in and goes on with `then`. Progress events are kept as (read K, total K,
// percent) in the order raised.
struct FakeSession {
    FakePop3Server server;
    Vorlane v;
    QList<QList<int>> events;

    explicit FakeSession(const QString& then, qint16 timeout = 3)
    {
        server.script(kFakeSessionLogin + then);
        v.setPOPHostname("127.0.0.1");
        v.setPOPPort(server.port());
        v.setPOPUsername("bob");
        v.setPOPPassword("pw");
        v.setPOPTimeout(timeout);
        v.setMsgReadStatusHandler([this](qint32& read, qint32& total, qint16& percent) {
            events.append({read, total, percent});
        });
        v.Connect();
        EXPECT_EQ(v.Status(), 1) << v.ErrorText().constData();
    }
    void select(qint16 number) { v.SetCurrentMsg(number); }
    // The commands after the login.
    QList<QByteArray> sent() const { return server.received().mid(3); }
};
