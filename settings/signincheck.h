// The sign-in check: connect with the given settings, sign in, read how many messages wait and
// quit, touching no mail. A user learns at once whether the settings work.
#pragma once

#include "scanner/modgeneral.h"

#include <QString>

struct SignInCheck {
    bool signedIn = false;
    // "Signed in to HOST: N messages waiting", or why not (the control's error text, a failed
    // token command, an unknown setting).
    QString text;
};

SignInCheck checkSignIn(const modGeneral::StoredSettings& settings);
