// sitedex upgrade: the start-up's upgrade of older data files, without a display.
#include <cstdio>
#include <span>
#include <string>

#include "app/shell/globals.h"
#include "app/upgrade/upgrade_check.h"
#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/data_transfer_commands.h"
#include "cli/progress.h"
#include "runtime/settings_file.h"

namespace sitedex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: sitedex upgrade [--data-dir DIR]\n"
    "Makes the check Sitedex makes when it starts. When the settings file SITEDX.INI records a data\n"
    "version below 1.5, the data files of older versions in DIR (SITEDX.VLX, CATEGORI.VLX,\n"
    "CATHTML.VLX) are copied into the current ones (URL_L.VLX, URL_C.VLX, URL_H.VLX). A current file\n"
    "that is already there is kept as NAME.bak (NAME.bak2 ... when that exists); the old files are\n"
    "not changed. Once every upgrade has completed the data version 1.5 is recorded, so the desktop\n"
    "program will not offer it again; after Ctrl+C or a failure it stays as it was.\n";

}  // namespace

int runUpgrade(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {}, 0, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;
    DataSession session(dir, {});
    return session.run([&] {
        const std::string version = runtime::readSetting("System", "Version", "");
        if (runtime::settingNumber(version) >= 1.5) {
            std::printf("The data version is %s already: nothing to upgrade.\n", version.c_str());
            return kExitOk;
        }
        const app::upgrade::UpgradeReport report = app::upgrade::upgradeOlderDataFiles(
            [](app::upgrade::UpgradeJob& job) { runToEnd(job, job.files().line); }, false);
        for (const app::upgrade::UpgradeStep& s : report.steps) {
            if (s.outcome != app::upgrade::UpgradeOutcome::kCompleted)
                continue;
            const app::upgrade::UpgradeFiles& f = app::upgrade::upgradeFiles(s.kind);
            std::printf("%s.VLX: %lld record%s copied into %s.VLX\n", f.oldDiskName, static_cast<long long>(s.copied),
                        s.copied == 1 ? "" : "s", f.newFile->name().c_str());
        }
        for (const std::string& note : report.notes)
            std::printf("%s\n", note.c_str());
        if (!report.complete)
            return kExitRefused;
        runtime::writeSetting("System", "Version", app::shell::kVersion);
        if (!report.ran)
            std::printf("No data files of an older version here; the data version is now %s.\n", app::shell::kVersion);
        else
            std::printf("The data version is now %s.\n", app::shell::kVersion);
        return kExitOk;
    });
}

}  // namespace sitedex::cli
