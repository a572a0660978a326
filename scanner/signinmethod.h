// How the scanner signs in to the mailbox: the words the stored "Auth" setting and the settings
// program take, and the control's POPAuthentication value for each.
#pragma once

#include <QString>
#include <optional>

// The values are the control's POPAuthentication.
enum class SignInMethod : qint16 { Password = 0, Plain = 1, Xoauth2 = 2, Oauthbearer = 3 };

// "password", "plain", "xoauth2" or "oauthbearer".
QString signInMethodWord(SignInMethod method);
// The method of a word as signInMethodWord() gives it, in any letter case; "" is the password,
// as a store without the key always was. Nothing for another word.
std::optional<SignInMethod> signInMethodNamed(const QString& word);
// "password, plain, xoauth2 or oauthbearer", for help texts and refusals.
QString signInMethodWordList();
// The OAuth methods sign in with an access token, which a token command may provide.
inline bool takesToken(SignInMethod method)
{
    return method == SignInMethod::Xoauth2 || method == SignInMethod::Oauthbearer;
}
