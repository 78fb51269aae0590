#pragma once

// Shared helpers for the tests: scripted services and small file-making helpers.

#include "platform/Services.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace testing {

// Answers message boxes from a queue (OK when it runs dry) and records every box and failure.
class ScriptedMessages : public platform::MessageService
{
public:
    ScriptedMessages() { install(this); }
    ~ScriptedMessages() override { install(nullptr); }

    struct Box
    {
        QString prompt;
        int buttons;
    };

    int MsgBox(const QString &prompt, int buttons) override;
    void reportFailure(const platform::Failure &failure) override;

    std::deque<int> answers;
    std::vector<Box> boxes;
    std::vector<platform::Failure> failures;
};

// Records every path it is asked to open.
class RecordingOpener : public platform::OpenService
{
public:
    RecordingOpener() { install(this); }
    ~RecordingOpener() override { install(nullptr); }
    void open(const QString &path) override { opened.push_back(path); }
    QStringList opened;
};

// A fixed list of volumes.
class ScriptedVolumes : public platform::VolumeService
{
public:
    explicit ScriptedVolumes(std::vector<platform::Volume> list)
        : list(std::move(list))
    {
        install(this);
    }
    ~ScriptedVolumes() override { install(nullptr); }
    std::vector<platform::Volume> volumes() override { return list; }
    std::vector<platform::Volume> list;
};

// Makes path the process's current folder (where the program and its dialogs start) for the
// lifetime of this object.
class CurrentFolder
{
public:
    explicit CurrentFolder(const QByteArray &path);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder &) = delete;
    CurrentFolder &operator=(const CurrentFolder &) = delete;

private:
    QByteArray m_previous;
};

// Unloads every window of the program and runs their deferred deletion, so that the next test
// starts with nothing loaded.
void unloadAllForms();

// Pins the locale the texts are checked in (en_US: 1,024.00KB).
void useEnglishLocale();

// Writes bytes to the file at path (raw bytes, any name); fails the test on error.
void writeFile(const QByteArray &path, const QByteArray &contents);
QByteArray readFile(const QByteArray &path);
// The names in a folder, sorted, as raw bytes.
QList<QByteArray> folderEntries(const QByteArray &path);
QByteArray bytesOf(const QString &path);

} // namespace testing
