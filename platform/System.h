#pragma once
// Small questions the client asks of the operating system: which programs run, what the
// machine's network adapter is called in hardware, how to start another program, what version
// this program is, whether sockets can be made at all.

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Whose a process is and which desktop it draws on: the real user id and the display its
// environment names (X and Wayland together, the X screen number left out).
struct tagProcessOwner {
    long uid = -1;  // -1: unknown
    QString display;
    bool operator==(const tagProcessOwner&) const = default;
};

struct tagProcessEntry {
    int pid = 0;
    QString exeName;  // file name of the executable, without folders
    tagProcessOwner owner;
};

// Every process the system lists (a /proc tree; another root reads a copy of one). A process
// whose executable cannot be read (another user's) is named by its command line's first word;
// its environment is unreadable too, so its display stays empty.
std::vector<tagProcessEntry> EnumProcesses(const QString& procRoot = QStringLiteral("/proc"));
// This program's user and display.
tagProcessOwner OwnProcessOwner();
// Processes of the owner whose executable name ends in fileName, compared without regard to
// case. Names there ended in ".exe", so containing "tavo.exe" meant ending in "tavo"; a plain
// "contains" here would count "tavo-serverd" and "tavo-cli" as copies of "tavo". Other users'
// copies, and ours on another display, are separate sessions and do not count.
int CountProcessesNamed(const QString& fileName, const tagProcessOwner& owner = OwnProcessOwner(),
                        const QString& procRoot = QStringLiteral("/proc"));

// The full path of the running program.
QString ProgramFilePath();

// The folder of the files a client reads at run time (cfg.ini, the chat pages, img/): the
// folder chosen on the command line when there is one; else the program's own folder when it
// holds cfg.ini, as in the build tree; else the data folder of an installed copy, found from
// the program's folder (../share/tavo beside bin/), so the installed programs can be moved as
// a whole. programPath empty: the running program.
QString ProgramFolder(const QString& chosen = {}, const QString& programPath = {});

// The user's folders for what the programs write (never the program's folder, which an
// installed copy may not write): the state folder (logs, history) is $XDG_STATE_HOME/tavo,
// else ~/.local/state/tavo; the cache folder (crash dumps) is $XDG_CACHE_HOME/tavo, else
// ~/.cache/tavo. Made when missing; empty when it cannot be made.
QString StateFolder();
QString CacheFolder();

// Six groups of two upper-case hexadecimal digits joined by "-".
QString FormatAdapterAddress(const unsigned char* bytes);
// The factory address of the first network card (a device the system lists, loopback and
// virtual interfaces skipped), as the card reports it; empty when the card cannot say.
QString PermanentAdapterAddress();
// The current address of the first adapter that has one (loopback skipped); empty when none.
QString CurrentAdapterAddress();
// The machine's identity: the permanent address when there is one, else the current one.
QString MachineAdapterAddress();

// Starts a program detached from this one. A program named without a folder is looked up in
// the folder given (the program's own), then on the search path.
bool StartProgram(const QString& program, const QStringList& arguments, const QString& folder);

// Hands a web page to the desktop's browser through xdg-open. done runs on the calling thread
// with false when no browser could be started (no opener, or it found nothing to open the page
// with), and with true when the opener finished well; a browser the opener waits for delays it.
void OpenWebPage(const QString& address, std::function<void(bool)> done);

// The program's own four-part version, compiled in.
struct tagProgramVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
    int revision = 0;
};
tagProgramVersion ProgramVersion();

// Whether the socket layer works: a TCP socket can be made.
bool SocketLayerAvailable();
