// zorNV assistants through zenity: each form becomes one "zenity --forms"
// dialog (entries, multi-line entries, yes/no lists for check boxes) with
// Continue as OK, Cancel and, when enabled, Skip. It is used only when zenity
// is installed and a display exists; otherwise there is no presenter.
#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "crashreport/core/zorExcept_Startup.h"
#include "crashreport/assistants/zorNVAssistant.h"
#include "crashreport/diagnostics/zorStrings.h"

extern char** environ;

namespace {

bool ZenityInstalled()
{
    const char* path = getenv("PATH");
    std::string list = path != nullptr ? path : "";
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        if (access((list.substr(start, end - start) + "/zenity").c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// Runs the program; its standard output and exit code (-1: not run).
int RunCapture(const std::vector<std::string>& argv, std::string& output)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return -1;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof(buffer));
        if (n > 0)
            output.append(buffer, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ShowWithZenity(TNVForm& form)
{
    while (form.IsShown()) {
        std::vector<std::string> argv{"zenity",
                                      "--forms",
                                      "--title=" + WideToUtf8(form.Title()),
                                      "--text=" + WideToUtf8(form.Message()),
                                      "--separator=\x1f",
                                      "--ok-label=" + WideToUtf8(form.ContinueButton()->Caption()),
                                      "--cancel-label=" + WideToUtf8(form.CancelButton()->Caption())};
        const TNVButton* skip = form.Button(1);
        if (skip->Usable() && !skip->Invisible)
            argv.push_back("--extra-button=" + WideToUtf8(skip->Caption()));
        std::vector<TNVItem*> fields;
        std::u16string label;
        for (int32_t i = 3; i < form.ItemCount(); ++i) {
            TNVItem* item = form.ItemObject(i);
            if (item->Kind == TNVItemKind::Label) {
                label = static_cast<TNVLabel*>(item)->Caption();
            } else if (item->Kind == TNVItemKind::Edit) {
                const bool multi = static_cast<TNVEdit*>(item)->LinesValue > 1;
                argv.push_back((multi ? "--add-multiline-entry=" : "--add-entry=") +
                               WideToUtf8(label.empty() ? item->ItemName : label));
                fields.push_back(item);
                label.clear();
            } else if (item->Kind == TNVItemKind::CheckBox) {
                auto* box = static_cast<TNVCheckBox*>(item);
                argv.push_back("--add-combo=" + WideToUtf8(box->Caption()));
                argv.push_back(box->CheckedValue ? "--combo-values=yes|no" : "--combo-values=no|yes");
                fields.push_back(item);
            }
        }
        std::string output;
        const int code = RunCapture(argv, output);
        while (!output.empty() && output.back() == '\n')
            output.pop_back();
        if (code == 0) {
            size_t start = 0;
            for (TNVItem* field : fields) {
                const size_t end = std::min(output.find('\x1f', start), output.size());
                const std::u16string value = Utf8ToWide(output.substr(start, end - start));
                start = end + 1;
                if (field->Kind == TNVItemKind::Edit)
                    form.TypeText(field->ItemName, value);
                else if ((value == u"yes") != static_cast<TNVCheckBox*>(field)->CheckedValue)
                    form.Click(field->ItemName);
            }
            // Continue held back (an invalid entry): the form is shown again.
            form.Click(form.ContinueButton()->Name());
            continue;
        }
        if (code == 1 && !output.empty() && Utf8ToWide(output) == skip->Caption()) {
            form.Click(skip->ItemName);
            continue;
        }
        form.KeyEscape();
        if (code < 0 || form.IsShown())
            form.CloseWindow();
    }
}

} // namespace

TNVFormPresenter ZenityFormPresenter()
{
    if (ConsoleProgram() || !ZenityInstalled())
        return nullptr;
    return ShowWithZenity;
}
