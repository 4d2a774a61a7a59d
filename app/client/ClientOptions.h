#pragma once
// What both clients take from their command line before the start-up runs:
//   --config-url URL    where the server configuration document is (profile "UpdateURL")
//   --server HOST[:PORT] the server-information host (profile "ServerIP" and "ServerPort")
//   --program-folder DIR where cfg.ini, the pages and the pictures are (default: beside the
//                        program)
//   a number            the room to enter at start
//   -h, --help / -v, --version  the usage or the version on standard output, then nothing else
// The profile values are written before the start-up reads the settings, so the values given
// stand until the configuration document says otherwise.

#include <QString>
#include <QStringList>

struct tagClientOptions {
    QString configUrl;
    QString serverHost;
    int serverPort = 0;
    QString programFolder;
    int startRoom = 0;
    bool help = false;
    bool version = false;
    QStringList rest;  // arguments the client itself does not know (the console's own)
    QString error;     // a text when the command line was wrong
};

tagClientOptions ParseClientOptions(const QStringList& arguments);

// Answers --help or --version on standard output: true when one was asked and the program
// has nothing else to do. The help holds summary (what the program is) and extra (option lines
// of the program's own).
bool AnswerHelpOrVersion(const tagClientOptions& options, const QString& program,
                         const QString& summary, const QString& extra = {});

// Writes the options into the edition's profile (the edition read from the folder's cfg.ini).
void ApplyClientOptions(const tagClientOptions& options, const QString& programFolder);

// The command line the start-up parses: the program's name, then the start room if any.
QString StartCommandLine(const QString& program, const tagClientOptions& options);
