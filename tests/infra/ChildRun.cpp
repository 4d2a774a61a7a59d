#include "ChildRun.h"

#include "tests/support/TestSupport.h"

#include <QProcess>

#include <cctype>
#include <fstream>
#include <iterator>

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

tagChildRun RunChild(const std::string& folder, const std::vector<std::string>& command,
                     int limitSeconds) {
    tagChildRun run;
    QProcess child;
    child.setWorkingDirectory(QString::fromStdString(folder));
    child.setStandardInputFile(QProcess::nullDevice());
    QStringList args;
    for (size_t i = 1; i < command.size(); ++i) {
        args << QString::fromStdString(command[i]);
    }
    child.start(QString::fromStdString(command.at(0)), args);
    run.started = child.waitForStarted();
    if (!run.started) {
        return run;
    }
    if (!child.waitForFinished(limitSeconds * 1000)) {
        child.kill();
        child.waitForFinished();
    }
    // A program ended by a signal has the signal's number for its exit code.
    run.exited = child.exitStatus() == QProcess::NormalExit;
    run.exitCode = run.exited ? child.exitCode() : -1;
    run.signal = run.exited ? 0 : child.exitCode();
    run.out = child.readAllStandardOutput().toStdString();
    run.err = child.readAllStandardError().toStdString();
    return run;
}

std::string Debugger(const std::string& folder, const std::string& dump,
                     const std::vector<std::string>& commands) {
    std::vector<std::string> command = {"/usr/bin/lldb", "--no-lldbinit", "--batch", "-c", dump};
    for (const std::string& c : commands) {
        command.insert(command.end(), {"-o", c});
    }
    return RunChild(folder, command).out;
}

std::string BuildIdOf(const std::string& file) {
    QByteArray out;
    tavotest::RunProgram("readelf", {"-n", QString::fromStdString(file)}, &out);
    const std::string notes = out.toStdString();
    const std::string label = "Build ID: ";
    const size_t at = notes.find(label);
    if (at == std::string::npos) {
        return {};
    }
    const size_t start = at + label.size();
    return notes.substr(start, notes.find_first_of(" \n", start) - start);
}

std::string AsListed(const std::string& hex) {
    std::string listed;
    for (size_t i = 0; i < hex.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20 || i == 32) {
            listed += '-';
        }
        listed += char(toupper(static_cast<unsigned char>(hex[i])));
    }
    return listed;
}
