#include "cli/cli.h"

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "batch/batch_run.h"
#include "engine/conversion.h"
#include "engine/options.h"
#include "platform/overlay_env.h"
#include "platform/path.h"

namespace kestrava::cli {
namespace {

constexpr char kVersionText[] = "kestrava-cli (Kestrava) 2.03\n";

constexpr char kUsageText[] =
    "Usage: kestrava-cli [OPTIONS] FILE\n"
    "       kestrava-cli --dir [OPTIONS] FILE|DIRECTORY\n"
    "\n"
    "Finds the earliest date text \"YYYY:MM:DD HH:MM:SS\" in the first 4096 bytes of FILE, sets its\n"
    "last-write time to it and renames it after that date, keeping the untouched file as .bak.\n"
    "A taken name gets a letter a..z; no file is ever replaced.\n"
    "\n"
    "Options (the window's control in brackets; defaults are the window's):\n"
    "  --timestamp=change|keep  set the last-write time from the date, or keep the file's own\n"
    "                           time [タイムスタンプ]; default change\n"
    "  --rename=0..6            0 no renaming, 1 D_HHMMSS, 2 YYMMDD_HHMMSS, 3 NAME_YYMMDD_HHMMSS,\n"
    "                           4 YYMMDD_NAME, 5 YYMMDD-HHMM_NAME, 6 YYYYMMDD_HHMMSS\n"
    "                           [ﾌｧｲﾙ名処理]; default 2\n"
    "  --strip-exif             leave the Exif segment out when the file is rewritten\n"
    "                           [Ｅｘｉｆ ヘッダ除去を行う]; needs --backup\n"
    "  --backup, --no-backup    keep the original as .bak and rewrite the file\n"
    "                           [オリジナルファイルの ... .BAK として保存]; default --backup\n"
    "  --date-source=file-first|file-only|timestamp\n"
    "                           the date inside the file, else the file's own time; only the\n"
    "                           date inside (no date: nothing done); the file's own time\n"
    "                           [日付の取得方法]; default file-only\n"
    "  --calendar=western|wareki|kanji\n"
    "                           Western years, era letter (R07...), era name in kanji\n"
    "                           (令和07年...) [暦表示]; default western\n"
    "  --weekday, --no-weekday  write the weekday in new names [曜日表示]; default no\n"
    "  --dir                    convert every matching file of FILE's directory, or of\n"
    "                           DIRECTORY [処理ファイルの指定]; default the one FILE\n"
    "  --types=jpg-jpe-avi|jpg-jpe|avi|all\n"
    "                           which files --dir takes [*.jpg/jpe/avi, *.jpg/jpe, *.avi, *.*,\n"
    "                           also the open dialog's file type]; default jpg-jpe-avi\n"
    "  --options=DIGITS         the nine option characters in settings-file order, e.g.\n"
    "                           020110000 (the window's defaults); later flags override them\n"
    "  --dry-run                change nothing on disk; print what a real run would do\n"
    "  --verbose                print a line for every file converted\n"
    "  --help                   print this text and exit\n"
    "  --version                print the version and exit\n"
    "\n"
    "Each planned or converted file gets a line on standard output:\n"
    "  PATH -> NEW NAME|unchanged | time YYYY-MM-DD HH:MM:SS|unchanged | backup yes|no | exif removed|kept\n"
    "then the count line \"N 件 処理しました\". Messages go to standard error.\n"
    "Exit status: 0 the run completed, 1 a failure stopped it, 2 bad usage.\n";

struct Command {
  engine::ProcessingOptions options;
  std::string file;
  bool dryRun = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
  bool fileGiven = false;
};

struct Choice {
  const char* word;
  int value;
};

std::optional<int> choose(std::string_view word, std::initializer_list<Choice> choices) {
  for (const Choice& choice : choices) {
    if (word == choice.word) {
      return choice.value;
    }
  }
  return std::nullopt;
}

// Reads one flag into the command; returns an error text, empty when the flag was understood.
std::string applyFlag(std::string_view flag, Command& command) {
  const std::size_t equals = flag.find('=');
  const std::string_view name = flag.substr(0, equals);
  const std::string_view value =
      equals == std::string_view::npos ? std::string_view() : flag.substr(equals + 1);
  const bool hasValue = equals != std::string_view::npos;
  engine::ProcessingOptions& options = command.options;

  auto set = [&](int& field, std::initializer_list<Choice> choices) -> std::string {
    const std::optional<int> chosen = hasValue ? choose(value, choices) : std::nullopt;
    if (!chosen) {
      return "invalid value for " + std::string(name) + ": '" + std::string(value) + "'";
    }
    field = *chosen;
    return {};
  };
  auto noValue = [&](const std::function<void()>& apply) -> std::string {
    if (hasValue) {
      return std::string(name) + " takes no value";
    }
    apply();
    return {};
  };

  if (name == "--timestamp")
    return set(options.timestampMode, {{"change", 0}, {"keep", 1}});
  if (name == "--rename") {
    return set(options.renamePattern, {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}, {"5", 5}, {"6", 6}});
  }
  if (name == "--date-source") {
    return set(options.dateSource, {{"file-first", 0}, {"file-only", 1}, {"timestamp", 2}});
  }
  if (name == "--calendar")
    return set(options.calendarStyle, {{"western", 0}, {"wareki", 1}, {"kanji", 2}});
  if (name == "--types") {
    return set(options.typeFilter, {{"jpg-jpe-avi", 0}, {"jpg-jpe", 1}, {"avi", 2}, {"all", 3}});
  }
  if (name == "--options") {
    if (!hasValue || value.size() > engine::kOptionCharacterCount) {
      return "--options takes at most nine option characters, e.g. --options=020110000";
    }
    options = engine::optionsFromSettingsCharacters(value);
    return {};
  }
  const std::pair<std::string_view, std::function<void()>> switches[] = {
      {"--strip-exif", [&] { options.stripExif = true; }},
      {"--backup", [&] { options.keepBackup = true; }},
      {"--no-backup", [&] { options.keepBackup = false; }},
      {"--weekday", [&] { options.showWeekday = 1; }},
      {"--no-weekday", [&] { options.showWeekday = 0; }},
      {"--dir", [&] { options.scope = 1; }},
      {"--dry-run", [&] { command.dryRun = true; }},
      {"--verbose", [&] { command.verbose = true; }},
      {"--help", [&] { command.help = true; }},
      {"--version", [&] { command.version = true; }},
  };
  for (const auto& [switchName, apply] : switches) {
    if (name == switchName) {
      return noValue(apply);
    }
  }
  return "unknown option " + std::string(name);
}

std::string parse(const std::vector<std::string>& args, Command& command) {
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      std::string error = applyFlag(arg, command);
      if (!error.empty()) {
        return error;
      }
      continue;
    }
    if (command.fileGiven) {
      return "only one FILE may be given";
    }
    command.file = arg;
    command.fileGiven = true;
  }
  if (!command.fileGiven && !command.help && !command.version) {
    return "no FILE given";
  }
  return {};
}

// Local time as "YYYY-MM-DD HH:MM:SS".
std::string formatLocalTime(const platform::FileTime& time) {
  platform::CalendarTime local;
  if (!platform::toLocalCalendar(time.seconds, &local)) {
    std::string text = std::to_string(time.seconds);
    text.insert(text.begin(), '@');  // seconds since the epoch, where the calendar can't say
    return text;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.year, local.month, local.day,
                local.hour, local.minute, local.second);
  return text;
}

// Draws the running count on one terminal line, and clears it before anything else is written.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}

  void pass(const std::string& mask, int fileCount) {
    pass_ = mask + " (" + std::to_string(fileCount) + " files)";
  }
  void count(int total) {
    if (!enabled_) {
      return;
    }
    err_ << "\r\033[K" << (pass_.empty() ? "" : pass_ + ": ") << total << " processed" << std::flush;
    shown_ = true;
  }
  void clear() {
    if (shown_) {
      err_ << "\r\033[K" << std::flush;
      shown_ = false;
    }
  }

 private:
  std::ostream& err_;
  bool enabled_;
  bool shown_ = false;
  std::string pass_;
};

// Failures go to standard error as the window would show them; once the run has ended, its report (the
// count line) goes to standard output.
class CommandLineMessages : public platform::MessageBox {
 public:
  CommandLineMessages(Streams& streams, ProgressLine& progress) : streams_(streams), progress_(progress) {}

  void show(const std::string& text) override {
    progress_.clear();
    std::ostream& stream = reportNext_ ? streams_.out : streams_.err;
    stream << text << '\n' << std::flush;
    reportNext_ = false;
  }
  void expectReport() { reportNext_ = true; }

 private:
  Streams& streams_;
  ProgressLine& progress_;
  bool reportNext_ = false;
};

class PlanLines : public engine::ConversionObserver {
 public:
  PlanLines(std::ostream& out, ProgressLine& progress, bool enabled, const platform::PathRules& rules)
      : out_(out), progress_(progress), enabled_(enabled), rules_(rules) {}

  void fileConverted(const engine::ConversionReport& report) override {
    if (!enabled_) {
      return;
    }
    progress_.clear();
    const bool timeChanged = report.timeSet && *report.timeSet != report.ownTime;
    out_ << report.path << " -> "
         << (report.renamedTo ? platform::namePart(*report.renamedTo, rules_) : std::string("unchanged"))
         << " | time " << (timeChanged ? formatLocalTime(*report.timeSet) : std::string("unchanged"))
         << " | backup " << (report.backupMade ? "yes" : "no") << " | exif "
         << (report.exifRemoved ? "removed" : "kept");
    if (report.result == engine::ConversionResult::Skipped) {
      out_ << " | skipped";
    } else if (report.result == engine::ConversionResult::Stop) {
      out_ << " | failed";
    }
    out_ << '\n' << std::flush;
  }

 private:
  std::ostream& out_;
  ProgressLine& progress_;
  bool enabled_;
  const platform::PathRules& rules_;
};

class RunProgress : public batch::BatchObserver {
 public:
  RunProgress(ProgressLine& progress, CommandLineMessages& messages)
      : progress_(progress), messages_(messages) {}

  void passStarted(const std::string& mask, int fileCount) override { progress_.pass(mask, fileCount); }
  void countChanged(int total) override { progress_.count(total); }
  void runEnded(int) override {
    progress_.clear();
    messages_.expectReport();
  }
  void runStopped() override { progress_.clear(); }

 private:
  ProgressLine& progress_;
  CommandLineMessages& messages_;
};

bool isDirectory(platform::Env& env, const std::string& path) {
  std::vector<platform::DirEntry> entries;
  return env.listDirectory(path, &entries).isOk();
}

// The path the batch run takes its directory from: a directory given itself stands for its files.
std::string chosenPathFor(const std::string& file, bool fileIsDirectory) {
  if (fileIsDirectory && !file.empty() && file.back() != '/') {
    return file + "/";
  }
  return file;
}

int runCommand(const Command& command, bool fileIsDirectory, Streams& streams, platform::Env& disk) {
  std::unique_ptr<platform::OverlayEnv> overlay;
  platform::Env* env = &disk;
  if (command.dryRun) {
    overlay = std::make_unique<platform::OverlayEnv>(disk);
    env = overlay.get();
  }
  ProgressLine progress(streams.err, streams.errIsTerminal);
  CommandLineMessages messages(streams, progress);
  PlanLines lines(streams.out, progress, command.dryRun || command.verbose, env->pathRules());
  engine::FixedOptions options(command.options);
  engine::Converter converter(*env, options, messages, &lines);
  RunProgress runProgress(progress, messages);

  batch::BatchRequest request;
  request.scope = command.options.scope;
  request.filterIndex = command.options.typeFilter + 1;
  request.chosenPath = request.scope == 1 ? chosenPathFor(command.file, fileIsDirectory) : command.file;
  const batch::BatchOutcome outcome = batch::runBatch(request, converter, *env, messages, runProgress);
  return outcome.completed ? kCompleted : kStopped;
}

}  // namespace

int execute(const std::vector<std::string>& args, Streams& streams, platform::Env& env) {
  Command command;
  const std::string error = parse(args, command);
  if (!error.empty()) {
    streams.err << "kestrava-cli: " << error << "\n\n" << kUsageText;
    return kBadUsage;
  }
  if (command.help) {
    streams.out << kUsageText;
    return kCompleted;
  }
  if (command.version) {
    streams.out << kVersionText;
    return kCompleted;
  }
  if (!env.exists(command.file)) {
    streams.err << "kestrava-cli: " << command.file << ": no such file or directory\n";
    return kBadUsage;
  }
  const bool fileIsDirectory = isDirectory(env, command.file);
  if (command.options.scope != 1 && fileIsDirectory) {
    streams.err << "kestrava-cli: " << command.file << " is a directory; give --dir to convert its files\n";
    return kBadUsage;
  }
  return runCommand(command, fileIsDirectory, streams, env);
}

}  // namespace kestrava::cli
