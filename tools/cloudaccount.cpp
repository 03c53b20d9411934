#include "cloudaccount.h"

namespace {

const QLatin1String kCloudOption("cloud");
const QLatin1String kTokenOption("token");
const char kCloudVariable[] = "YRPLAN_CLOUD";
const char kTokenVariable[] = "YRPLAN_TOKEN";

// The option's value when it is given, else its environment variable's.
QString optionOrVariable(const SubcommandLine &line, const QString &option, const char *variable)
{
    return line.isSet(option) ? line.value(option) : qEnvironmentVariable(variable);
}

} // namespace

void addCloudOptions(SubcommandLine &line)
{
    line.addOption(kCloudOption,
                   QStringLiteral("Sign in to the plan service at URL (a yrcloud, "
                                  "http://HOST:PORT) with --token, and work on cloud plans "
                                  "(default: YRPLAN_CLOUD)."),
                   QStringLiteral("URL"));
    line.addOption(kTokenOption,
                   QStringLiteral("The user's token at the plan service, as `yrcloud user add` "
                                  "prints it (default: YRPLAN_TOKEN)."),
                   QStringLiteral("T"));
}

bool cloudAccountOf(const SubcommandLine &line, CloudAccount *account, int *exitCode)
{
    const QString address = optionOrVariable(line, kCloudOption, kCloudVariable).trimmed();
    const QString token = optionOrVariable(line, kTokenOption, kTokenVariable).trimmed();
    if (address.isEmpty() && token.isEmpty()) {
        *account = CloudAccount();
        return true;
    }
    if (address.isEmpty() || token.isEmpty()) {
        *exitCode = line.usageError(
            address.isEmpty() ? QStringLiteral("--token needs --cloud (or YRPLAN_CLOUD)")
                              : QStringLiteral("--cloud needs --token (or YRPLAN_TOKEN)"));
        return false;
    }
    const QUrl service(address, QUrl::StrictMode);
    if (!service.isValid() || service.host().isEmpty() ||
        (service.scheme() != QLatin1String("http") && service.scheme() != QLatin1String("https"))) {
        *exitCode = line.usageError(
            QStringLiteral("%1 is not the address of a plan service (http://HOST:PORT)")
                .arg(address));
        return false;
    }
    account->service = service;
    account->token = token;
    return true;
}
