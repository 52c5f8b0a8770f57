// Recording fakes of the window, the recorder and the services for the application's unit
// tests. Every call is appended to one shared journal so tests can check the order of effects.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/recorder/recorder.h"
#include "platform/services/services.h"
#include "platform/window/window.h"

namespace dd::test {

using Journal = std::vector<std::string>;

class FakeWindow : public Window {
  public:
    explicit FakeWindow(Journal& journal) : m_journal(journal) {}

    std::string title() const override { return m_title; }
    void setTitle(const std::string& text) override {
        m_title = text;
        m_journal.push_back("title " + text);
    }
    bool alwaysOnTop() const override { return m_onTop; }
    void setAlwaysOnTop(bool on) override {
        m_onTop = on;
        m_journal.push_back(on ? "on top" : "not on top");
    }
    std::string caption(Control c) const override { return m_captions.at(c); }
    void setCaption(Control c, const std::string& text) override { m_captions[c] = text; }
    bool disabled(Control c) const override { return m_disabled.at(c); }
    void setDisabled(Control c, bool d) override { m_disabled[c] = d; }
    int selectedItem(Control c) const override { return m_selected.at(c); }
    void setSelectedItem(Control c, int index) override { m_selected[c] = index; }
    std::string fileName() const override { return m_fileName; }
    void setFileName(const std::string& name) override { m_fileName = name; }

    // The initial properties of the main window's controls.
    std::string m_title = "咚咚鸟录音工具";
    bool m_onTop = true;
    std::map<Control, std::string> m_captions{{Control::录音按钮, "录音"},
                                              {Control::优化配置按钮, "停止回放"},
                                              {Control::回放按钮, "回放录音"}};
    std::map<Control, bool> m_disabled{
        {Control::录音按钮, false}, {Control::优化配置按钮, false}, {Control::回放按钮, true}};
    std::map<Control, int> m_selected{
        {Control::线路数组合框, 0}, {Control::采样率组合框, 0}, {Control::采样大小组合框, 0}};
    std::string m_fileName;

  private:
    Journal& m_journal;
};

class FakeRecorder : public Recorder {
  public:
    explicit FakeRecorder(Journal& journal) : m_journal(journal) {}

    bool setFormat(int channels, int rate, int bits) override {
        m_journal.push_back("format " + std::to_string(channels) + " " + std::to_string(rate) +
                            " " + std::to_string(bits));
        return true;
    }
    bool start() override {
        m_journal.push_back("start");
        return m_startSucceeds;
    }
    bool pause() override { return log("pause"); }
    bool resume() override { return log("continue"); }
    bool stop() override { return log("stop"); }
    bool save(const std::string& path, bool overwrite) override {
        log("save " + path + (overwrite ? " overwrite" : " keep"));
        return m_failingSaves.count(path) == 0;
    }
    std::string lastError() const override { return "磁盘已满"; }

    bool m_startSucceeds = true;
    std::set<std::string> m_failingSaves;

  private:
    bool log(std::string entry) {
        m_journal.push_back(std::move(entry));
        return true;
    }
    Journal& m_journal;
};

class FakeServices : public Services {
  public:
    explicit FakeServices(Journal& journal) : m_journal(journal) {}

    void initialise() override { m_journal.push_back("initialise"); }
    void registerExitRoutine(std::function<void()> routine) override {
        m_journal.push_back("register exit routine");
        m_exitRoutine = std::move(routine);
    }
    DateTime now() override { return m_now; }
    std::string runDirectory() override { return "/home/u/录音机"; }
    std::string pathSeparator() override { return "/"; }
    bool fileExists(const std::string& path) override {
        m_journal.push_back("exists " + path);
        return !path.empty() && m_files.count(path) != 0;
    }
    Bytes readFile(const std::string& path) override {
        m_journal.push_back("read " + path);
        auto it = m_files.find(path);
        return it == m_files.end() ? Bytes{} : it->second;
    }
    bool deleteFile(const std::string& path) override {
        m_journal.push_back("delete " + path);
        return m_files.erase(path) != 0;
    }
    bool playSound(const Bytes& sound, bool loop) override {
        m_journal.push_back(std::string("play ") + std::to_string(sound.size()) +
                            (loop ? " loop" : " once"));
        return true;
    }
    bool playFile(const std::string& path, bool loop) override {
        m_journal.push_back("play file " + path + (loop ? " loop" : " once"));
        return m_filesPlay && m_files.count(path) != 0;
    }
    void stopPlaying() override { m_journal.push_back("stop playing"); }
    int messageBox(const std::string& text, int style, const std::string& title) override {
        m_journal.push_back("box " + text + " " + std::to_string(style) + " " + title);
        return 1;
    }
    void waitWithEvents(int ms) override {
        m_journal.push_back("wait " + std::to_string(ms));
        // Events queued before the wait are dispatched inside it.
        for (auto& pending : std::exchange(m_pendingEvents, {})) {
            pending();
        }
    }
    void endProgram(int exitCode) override {
        m_journal.push_back("end program " + std::to_string(exitCode));
        if (m_exitRoutine) {
            m_journal.push_back("exit routine");
            std::exchange(m_exitRoutine, nullptr)();
        }
    }

    DateTime m_now{2013, 9, 8, 14, 5, 3};
    std::map<std::string, Bytes> m_files;
    bool m_filesPlay = true; // whether playFile finds a playable sound in a file that exists
    std::vector<std::function<void()>> m_pendingEvents;
    std::function<void()> m_exitRoutine;

  private:
    Journal& m_journal;
};

} // namespace dd::test
