// What the hook costs the agents: one run of the deployed script per event kind
// against the cheapest possible hook (read stdin, write a file) under the same
// shell, and what install() costs at every launch.
//
//   bench_hook [runs]        (default 31 runs per figure; medians are printed)

#include "agents/AgentList.h"
#include "hooks/HookInstaller.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace korvane;

namespace {

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Wall time of one process run with `input` on its stdin, in milliseconds.
double timeRun(const std::vector<std::string>& argv, const QString& input)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, QFile::encodeName(input).constData(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = timer.nsecsElapsed() / 1e6;
    posix_spawn_file_actions_destroy(&actions);
    return ms;
}

struct Kind {
    const char* name;
    QByteArray payload;
    std::string agent; // the script's argument, as Korvane registers it
};

std::vector<Kind> kinds()
{
    const QString dir = QStringLiteral(KORVANE_HOOK_TEST_DATA "/claude-code/");
    std::vector<Kind> list;
    for (const char* f : {"SessionStart-text", "UserPromptSubmit-text", "PreToolUse-bash", "PostToolUse-bash",
                          "Notification-perm", "PermissionRequest-perm-all", "Stop-text",
                          "StopFailure-error529", "SessionEnd-text"})
        list.push_back({f, readFile(dir + QString::fromLatin1(f) + QStringLiteral(".json")), "claude-code"});
    for (const char* f : {"codex/UserPromptSubmit-exec-text", "codex/PermissionRequest-perm",
                          "codex/Stop-exec-text", "gemini/BeforeAgent-exec-text", "gemini/AfterAgent-fail"})
        list.push_back(
            {f, readFile(dir + QStringLiteral("../") + QString::fromLatin1(f) + QStringLiteral(".json")),
             QByteArray(f).split('/').first().toStdString()});
    const QByteArray common =
        R"("conversation_id":"c0a1b2c3-0000-4000-8000-00000000c0de","generation_id":"g1",)"
        R"("cursor_version":"3.1.7","workspace_roots":["/home/user/project"],"model":"default",)";
    list.push_back(
        {"cursor beforeShellExecution",
         "{" + common +
             R"("hook_event_name":"beforeShellExecution","command":"make","cwd":"/x","sandbox":false})",
         "cursor"});
    list.push_back({"cursor afterFileEdit",
                    "{" + common + R"("hook_event_name":"afterFileEdit","file_path":"/x/a.c","edits":[]})",
                    "cursor"});
    list.push_back({"cursor stop",
                    "{" + common + R"("hook_event_name":"stop","status":"completed","loop_count":0})",
                    "cursor"});
    return list;
}

void benchShell(const QString& label, const std::vector<std::string>& shell, const QString& script,
                const QString& work, int runs)
{
    std::printf("\n%s\n%-30s %12s %12s %7s\n", qPrintable(label), "event", "script ms", "bare ms", "ratio");
    const std::string out = (work + QStringLiteral("/bare.json")).toStdString();
    std::vector<std::string> scriptArgv = shell;
    scriptArgv.push_back(script.toStdString());
    scriptArgv.emplace_back();
    std::vector<std::string> bareArgv = shell;
    bareArgv.push_back("-c");
    bareArgv.push_back("cat >/dev/null; printf '{\"state\":\"working\",\"ts\":1}\\n' >'" + out + "'");
    std::vector<double> ratios;
    for (const Kind& kind : kinds()) {
        const QString input = work + QStringLiteral("/payload.json");
        writeFile(input, kind.payload);
        scriptArgv.back() = kind.agent;
        std::vector<double> a, b;
        timeRun(scriptArgv, input); // warm the caches
        timeRun(bareArgv, input);
        for (int i = 0; i < runs; ++i) { // interleaved, so that load changes hit both alike
            a.push_back(timeRun(scriptArgv, input));
            b.push_back(timeRun(bareArgv, input));
        }
        const double ma = median(a), mb = median(b);
        ratios.push_back(ma / mb);
        std::printf("%-30s %12.2f %12.2f %7.2f\n", kind.name, ma, mb, ma / mb);
    }
    std::printf("%-30s %12s %12s %7.2f\n", "median ratio", "", "", median(ratios));
}

void benchInstall(int runs)
{
    const QString home = QDir::homePath();
    const QString data = QStringLiteral(KORVANE_HOOK_TEST_DATA "/configs/");
    QDir().mkpath(home + QStringLiteral("/.claude"));
    const QString claudePath = AgentList::find(u"claude-code")->configPath();
    const QString cursorPath = AgentList::find(u"cursor")->configPath();
    QDir().mkpath(home + QStringLiteral("/.cursor/hooks"));
    const QByteArray claude = readFile(data + QStringLiteral("claude-settings-typical.json"));
    const QByteArray cursor = readFile(data + QStringLiteral("cursor-hooks-typical.json"));
    QFile resource(QString::fromLatin1(HookInstaller::kScriptResource));
    resource.open(QIODevice::ReadOnly);
    const QByteArray script = resource.readAll();

    std::vector<double> install, installCpu, floor;
    for (int i = 0; i < runs; ++i) {
        writeFile(claudePath, claude);
        writeFile(cursorPath, cursor);
        QElapsedTimer t;
        t.start();
        const double cpu = cpuMs();
        if (!HookInstaller::install())
            std::fprintf(stderr, "install() failed\n");
        installCpu.push_back(cpuMs() - cpu);
        install.push_back(t.nsecsElapsed() / 1e6);

        // The floor: the same three files written atomically, nothing parsed.
        const QByteArray merged[] = {readFile(HookInstaller::scriptPath()), readFile(cursorPath),
                                     readFile(claudePath)};
        const QString paths[] = {HookInstaller::scriptPath(), cursorPath, claudePath};
        t.restart();
        for (int k = 0; k < 3; ++k) {
            QSaveFile f(paths[k]);
            f.open(QIODevice::WriteOnly);
            f.write(merged[k]);
            f.commit();
        }
        floor.push_back(t.nsecsElapsed() / 1e6);
    }
    // Every later launch: the files already hold what install() would write.
    std::vector<double> again;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        HookInstaller::install();
        again.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("\ninstall() on typical files (script %lld B, hooks.json %lld B, settings.json %lld B),\n"
                "against writing the same three files atomically (QSaveFile, which syncs each to disk)\n",
                static_cast<long long>(script.size()), static_cast<long long>(cursor.size()),
                static_cast<long long>(claude.size()));
    std::printf("%-30s %12s %12s %7s\n", "", "install ms", "3 writes ms", "ratio");
    std::printf("%-30s %12.2f %12.2f %7.2f\n", "median wall time", median(install), median(floor),
                median(install) / median(floor));
    std::printf("%-30s %12.2f\n", "median CPU time of install()", median(installCpu));
    std::printf("%-30s %12.2f %12.2f %7.2f   (goal: at most 10 ms)\n", "again, nothing to change",
                median(again), median(floor), median(again) / median(floor));
}

} // namespace

int main(int argc, char** argv)
{
    // Never the real home: install() writes into it.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("korvane.*.debug=false"));
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;

    QTemporaryDir work;
    const QString script = work.filePath(QStringLiteral("signalwick.sh"));
    {
        QFile resource(QString::fromLatin1(HookInstaller::kScriptResource));
        if (!resource.open(QIODevice::ReadOnly) || !writeFile(script, resource.readAll())) {
            std::fprintf(stderr, "no hook script resource\n");
            return 1;
        }
    }
    std::printf("hook script: median wall time of one run (%d runs each), against a bare\n"
                "`sh -c 'cat >/dev/null; printf ... >file'` under the same shell\n",
                runs);
    benchShell(QStringLiteral("/bin/sh"), {"/bin/sh"}, script, work.path(), runs);
    for (const char* name : {"dash", "bash"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty() &&
            QFileInfo(path).canonicalFilePath() != QFileInfo(QStringLiteral("/bin/sh")).canonicalFilePath())
            benchShell(path, {path.toStdString()}, script, work.path(), runs);
    }
    const QString busybox = QStandardPaths::findExecutable(QStringLiteral("busybox"));
    if (!busybox.isEmpty())
        benchShell(busybox + QStringLiteral(" sh"), {busybox.toStdString(), "sh"}, script, work.path(), runs);
    benchInstall(runs);
    return 0;
}
