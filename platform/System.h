#pragma once
// Small questions the client asks of the operating system: which programs run, what the
// machine's network adapter is called in hardware, how to start another program, what version
// this program is, whether sockets can be made at all.

#include <QString>
#include <QStringList>

#include <vector>

struct tagProcessEntry {
    int pid = 0;
    QString exeName;  // file name of the executable, without folders
};

// Every process the system lists (/proc). A process whose executable cannot be read (another
// user's) is named by its command line's first word.
std::vector<tagProcessEntry> EnumProcesses();
// Processes whose executable name ends in fileName, compared without regard to case. Names
// there ended in ".exe", so containing "tavo.exe" meant ending in "tavo"; a plain "contains"
// here would count "tavo-serverd" and "tavo-cli" as copies of "tavo".
int CountProcessesNamed(const QString& fileName);

// The full path of the running program.
QString ProgramFilePath();

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
