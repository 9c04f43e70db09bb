// Stand-ins for the desktop (message boxes, file dialog, browser) and a main
// window built on them in a directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <locale>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ui/main_window.h"
#include "ui/save_file_dialog.h"
#include "ui/window_services.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace hydrosk::ui::testing {

namespace fs = std::filesystem;

struct ShownMessage {
    QString text;
    QString detail;
};

class FakeMessages final : public MessageBoxes {
public:
    void inform(QWidget*, const QString& text, const QString& detail) override {
        messages.push_back({text, detail});
        if (onMessage) onMessage();
    }
    bool askYesNo(QWidget*, const QString& text) override {
        questions.push_back(text);
        if (onQuestion) onQuestion();
        return answer;
    }

    std::vector<ShownMessage> messages;
    std::vector<QString> questions;
    bool answer = false;
    std::function<void()> onMessage;
    std::function<void()> onQuestion;
};

struct DialogCall {
    QString title, filter, directory, previousFile;
};

class FakeInpDialog final : public InpFileDialog {
public:
    QString chooseFile(QWidget*, const QString& title, const QString& filter,
                       const QString& directory, const QString& previousFile) override {
        calls.push_back({title, filter, directory, previousFile});
        if (answers.empty()) return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<QString> answers;  // an empty text cancels
    std::vector<DialogCall> calls;
};

class FakeDesktop final : public DesktopLauncher {
public:
    bool open(const QUrl& target) override {
        opened.push_back(target);
        return canOpen;
    }
    std::vector<QUrl> opened;
    bool canOpen = true;
};

class FakeSaveDialog final : public SaveFileDialog {
public:
    QString chooseSaveFile(QWidget*, const QString&, const QString&,
                           const QString& proposed) override {
        proposals.push_back(proposed);
        if (answers.empty()) return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers;  // an empty text cancels
    std::vector<QString> proposals;
};

inline std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

inline QString Q(const fs::path& path) {
    return FromFileSystemPath(path);
}

// The control of a window by object name; throws when there is none.
template <typename T>
T& Child(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (found == nullptr) throw std::runtime_error(std::string("no control ") + name);
    return *found;
}

// A test with its own directories: `programDir` stands for the executable's
// directory, `networkDir` holds the INP files.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        root_ = fs::temp_directory_path() /
                ("hydrosk-ui-test-" + std::to_string(random()) + std::to_string(random()));
        programDir = root_ / "program";
        networkDir = root_ / "networks";
        fs::create_directories(programDir);
        fs::create_directories(networkDir);
    }
    void TearDown() override {
        window.reset();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    MainWindow& makeWindow() {
        window =
            std::make_unique<MainWindow>(WindowServices{messages, dialog, desktop, programDir});
        return *window;
    }

    // The window shown, so that the pointer can move over it.
    MainWindow& makeShownWindow() {
        makeWindow();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }

    template <typename T>
    T& control(const char* name) {
        return Child<T>(*window, name);
    }

    // Copies a network of the test data (or of examples/) into networkDir.
    fs::path copyNetwork(const fs::path& source, const std::string& name) {
        const fs::path target = networkDir / name;
        fs::copy_file(source, target, fs::copy_options::overwrite_existing);
        return target;
    }

    // Chooses the INP file through the File button.
    void selectInp(const fs::path& inp) {
        dialog->answers.push_back(Q(inp));
        QTest::mouseClick(&control<QPushButton>("cmdInpFile"), Qt::LeftButton);
    }

    std::shared_ptr<FakeMessages> messages = std::make_shared<FakeMessages>();
    std::shared_ptr<FakeInpDialog> dialog = std::make_shared<FakeInpDialog>();
    std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
    fs::path programDir;
    fs::path networkDir;
    std::unique_ptr<MainWindow> window;

private:
    fs::path root_;
};

// Sets LC_ALL for the life of the object; `active` is false when the locale
// is not installed (`make deps` generates de_DE.UTF-8).
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) {
        if (const char* old = std::getenv("LC_ALL")) old_ = old;
        try {
            std::locale probe(name);
            (void)probe;
            setenv("LC_ALL", name, 1);
            active = true;
        } catch (const std::runtime_error&) {
        }
    }
    ~ScopedLocale() {
        if (old_) {
            setenv("LC_ALL", old_->c_str(), 1);
        } else {
            unsetenv("LC_ALL");
        }
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    bool active = false;

private:
    std::optional<std::string> old_;
};

inline fs::path TestData(const char* name) {
    return fs::path(HYDROSK_UI_TEST_DATA) / name;
}
inline fs::path Example(const char* name) {
    return fs::path(HYDROSK_EXAMPLES) / name;
}

}  // namespace hydrosk::ui::testing
