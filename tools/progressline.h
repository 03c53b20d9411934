#ifndef YRPLAN_PROGRESSLINE_H
#define YRPLAN_PROGRESSLINE_H

#include <QString>

// While it lives, draws the progress of every pack and unpack of the process on one line of
// standard error ("pack  1.2 GiB of 3.4 GiB  85.0 MiB/s"), a few times a second, when
// standard error is a terminal; stays quiet when it is not. The line is cleared at the end.
class ProgressLine
{
public:
    explicit ProgressLine(const QString &label);
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;
};

#endif // YRPLAN_PROGRESSLINE_H
