#include "scanner/signinmethod.h"

#include <QStringList>

namespace {

struct Method {
    SignInMethod method;
    const char* word;
};

// In the order the texts list them.
constexpr Method kMethods[] = {
    {SignInMethod::Password, "password"},
    {SignInMethod::Plain, "plain"},
    {SignInMethod::Xoauth2, "xoauth2"},
    {SignInMethod::Oauthbearer, "oauthbearer"},
};

} // namespace

QString signInMethodWord(SignInMethod method)
{
    for (const Method& m : kMethods) {
        if (m.method == method) {
            return QString::fromLatin1(m.word);
        }
    }
    return {};
}

std::optional<SignInMethod> signInMethodNamed(const QString& word)
{
    if (word.isEmpty()) {
        return SignInMethod::Password;
    }
    for (const Method& m : kMethods) {
        if (word.compare(QLatin1String(m.word), Qt::CaseInsensitive) == 0) {
            return m.method;
        }
    }
    return std::nullopt;
}

QString signInMethodWordList()
{
    QStringList words;
    for (const Method& m : kMethods) {
        words.append(QString::fromLatin1(m.word));
    }
    const QString last = words.takeLast();
    return words.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}
