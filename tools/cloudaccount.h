#ifndef YRPLAN_CLOUDACCOUNT_H
#define YRPLAN_CLOUDACCOUNT_H

#include "cliutil.h"

#include <QString>
#include <QUrl>

// The cloud that a command signs in to, and the user's token there. An account without a
// service address signs nobody in.
struct CloudAccount
{
    QUrl service;
    QString token;

    bool isSet() const { return !service.isEmpty(); }
};

// Documents --cloud URL and --token T, which the environment variables YRPLAN_CLOUD and
// YRPLAN_TOKEN stand in for.
void addCloudOptions(SubcommandLine &line);
// The account that the options name or, where an option is not given, its environment
// variable; an empty account when neither names a service. False with *exitCode set (a usage
// error) when only one of the two is given or the address is not an http(s) URL.
bool cloudAccountOf(const SubcommandLine &line, CloudAccount *account, int *exitCode);

#endif // YRPLAN_CLOUDACCOUNT_H
