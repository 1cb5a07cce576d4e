#pragma once

#include <QString>
#include <QStringList>

// What one start of the program is to open: a descriptor, a URL for the URL
// box, or nothing (then a start only shows the window).
struct StartRequest {
    QString descriptorPath = {};  // may name no file: the loader then ignores it
    QString url = {};             // an http:// or https:// address

    bool isEmpty() const { return descriptorPath.isEmpty() && url.isEmpty(); }
    bool operator==(const StartRequest &) const = default;
};

// The program's arguments, read before any window exists so that --help and
// --version work without a display. A desktop hands over a descriptor path,
// a file:// URI of one (what "%u" gives) or a web address; all arguments
// together are one text with its double quotes removed, so a path with
// spaces arrives whole however it was split.
class CommandLine {
public:
    enum class Action { Start, PrintHelp, PrintVersion, Refuse };

    // `arguments` without the program name.
    static CommandLine parse(const QStringList &arguments);

    Action action() const { return m_action; }
    // For Start: what to open.
    const StartRequest &request() const { return m_request; }
    // For PrintHelp and PrintVersion the text for standard output; for
    // Refuse the sentence that names what was not understood.
    const QString &text() const { return m_text; }

    // Prints the text of an action that ends the program at once and returns
    // its exit status: 0 for help and version, 2 for a refusal. Nothing for
    // Start, which returns -1.
    int finishWithoutWindow() const;

    static QString helpText();
    static QString versionText();

private:
    static CommandLine refuse(const QString &why);
    static CommandLine fromText(const QString &text);

    Action m_action = Action::Start;
    StartRequest m_request;
    QString m_text;
};
