#pragma once
// What ctdb says: reports on standard output, errors and remarks on standard error, a
// progress line on a terminal, and its exit codes.

#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <optional>

namespace adodb {
class Error;
}

namespace console {

enum Exit : int {
    Ok = 0,
    Failed = 1,      // bad data or a failed operation: nothing written
    BadArguments = 2 // the command line is wrong
};

// A command line that cannot be carried out; main() shows it with the usage hint.
class UsageError : public std::exception {
public:
    explicit UsageError(QString message) : m_message(std::move(message)) {}
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return "usage"; }

private:
    QString m_message;
};

void out(const QString& line);
void err(const QString& line);
// Tells a failure of the database layer ("错误 N：description"); returns Failed.
int failed(const adodb::Error& e);
// How a file is named in messages ("标准输入" / "标准输出" for -).
QString shown(const QString& file, bool output = false);
// "FILE 第 N 行：" (just "FILE：" for line 0).
QString at(const QString& file, int line);
// The directory argument, positional (after `expectedBefore` others) or --dir, not both:
// the program's directory is set to it. Throws UsageError.
void takeDir(const QStringList& positional, const std::optional<QString>& dir,
             qsizetype expectedBefore);

// An option as the command line gave it: its name, and its value ("--name=value" or the
// word after "--name"), taken only by options that have one.
class Option {
public:
    Option(QString name, std::function<QString()> value, bool bare)
        : m_name(std::move(name)), m_value(std::move(value)), m_bare(bare)
    {
    }
    const QString& name() const { return m_name; }
    bool is(QStringView flag) const { return m_bare && m_name == flag; } // a flag: no value
    QString value() const { return m_value(); }

private:
    QString m_name;
    std::function<QString()> m_value;
    bool m_bare;
};

// Walks a command line: each word that is no option goes to `word` (with whether it came
// after "--", where every word is one); each option to `option`, which says whether it knows it. An
// unknown option, a missing value and an option given twice (which of the two was meant
// cannot be known) throw UsageError.
void scanOptions(const QStringList& in, const std::function<void(const QString&, bool)>& word,
                 const std::function<bool(const Option&)>& option);

// A line on standard error that counts up, shown only for more than kProgressFrom records
// and only when standard error is a terminal. The total may be learnt on the way
// (setTotal); until then the line shows the count alone.
class ProgressLine {
public:
    static constexpr qint64 kProgressFrom = 10000;
    static constexpr qint64 kUnknown = -1;
    ProgressLine(QString what, qint64 total);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    void setTotal(qint64 total) { m_total = total; }
    void update(qint64 done);

private:
    QString m_what;
    qint64 m_total;
    bool m_terminal;
    bool m_shown = false;
};

} // namespace console
