// Failures provoked for real on the built program: kills at any moment,
// writes that fail (size limits with SIGXFSZ at its default disposition, a
// full standard output), fields that stop being finite, signals early and
// late, concurrent runs in one folder, refused and questionable inputs, an
// interrupted run resumed as the program says. Whatever happens, every file
// left behind is whole, no earlier summary speaks for a run, and the exit
// status says what happened (README: 2 bad input, 4 a field not finite, 5 a
// file not written, 128 + the signal).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/process_support.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

namespace fs = std::filesystem;
using testing::Child;
using testing::err_of;
using testing::flame_config;
using testing::lines_of;
using testing::out_of;
using testing::read_file;
using testing::run_program;
using testing::ScratchDir;
using testing::write_file;
using std::chrono::milliseconds;
using Records = std::map<int, std::string>;

// A small flame that stays finite for 300 steps: 33 nodes, a domain of six
// predicted thicknesses.
Records small_flame(int steps, int out_every) {
  return {{4, "33"}, {7, "6"}, {9, std::to_string(steps)}, {10, std::to_string(out_every)}};
}

// Records with some of them replaced.
Records with(Records r, const Records& more) {
  for (const auto& [k, v] : more) r[k] = v;
  return r;
}

// The same as a sweep over the Lewis number on a fixed domain, so that a
// resumed step runs exactly as it would have.
Records small_sweep(int steps, int count) {
  return with(small_flame(steps, steps),
              {{6, "1.125"}, {74, "1"}, {75, "3"}, {76, "0.9"}, {77, "1.4"}, {78, std::to_string(count)}});
}

// The number of blank-separated numbers of a line, -1 when a token is not one.
int count_numbers(const std::string& line) {
  std::istringstream in(line);
  int count = 0;
  for (std::string token; in >> token; ++count) {
    char* end = nullptr;
    std::strtod(token.c_str(), &end);
    if (end != token.c_str() + token.size()) return -1;
  }
  return count;
}

bool is_temporary(const std::string& name) { return name.starts_with('.') && name.ends_with(".tmp"); }

// What is wrong with one file a run left, or "" when it is whole: every line
// ended, a table's records (the lines other than VARIABLES and ZONE) of one
// count of numbers, a snapshot of n records, the report of 19 lines.
std::string whole_file_problem(const fs::path& p, int n) {
  const std::string name = p.filename().string(), text = read_file(p);
  if (name == "eulero_test.dat" || name == ".fiamma.lock" || name.ends_with(".txt") || is_temporary(name)) return "";
  if (name.ends_with(".json")) return nlohmann::json::accept(text) ? "" : "summary cut";
  if (name.ends_with(".stato")) return text.starts_with(" fiamma-stato 1\n") && text.ends_with("\n") ? "" : "companion cut";
  if (text.empty()) return "";  // an appended file opened before its first record
  if (text.back() != '\n') return "last line cut";
  const auto lines = lines_of(text);
  if (name == "post_dati.dat") return lines.size() == 19 ? "" : "report cut";
  if (name.compare(1, 2, "pr") == 0 && lines.size() != n + 2u) return "snapshot of " + std::to_string(lines.size()) + " lines";
  int columns = -1;
  for (const auto& l : lines) {
    if (l.starts_with(" VARIABLES") || l.starts_with(" ZONE")) continue;
    if (columns < 0) columns = count_numbers(l);
    if (count_numbers(l) != columns || columns < 1) return "cut: " + l.substr(0, 80);
  }
  return "";
}

// The files of `dir` that are not whole, with what is wrong.
std::vector<std::string> broken_files(const fs::path& dir, int n) {
  std::vector<std::string> broken;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string problem = whole_file_problem(e.path(), n);
    if (!problem.empty()) broken.push_back(e.path().filename().string() + ": " + problem);
  }
  return broken;
}

// The data rows of a sweep table, blocks of header and zone lines left out.
std::vector<std::string> table_rows(const std::string& text) {
  std::vector<std::string> rows;
  for (const auto& l : lines_of(text)) {
    if (!l.starts_with(" VARIABLES") && !l.starts_with(" ZONE")) rows.push_back(l);
  }
  return rows;
}

// The run configured by `records` in a fresh folder, killed at the middle of
// each of `kills` equal parts of the uninterrupted run's time: no file may be
// broken afterwards, and most kills come before the end. `after` inspects
// each killed folder beside the reference.
void kill_anywhere(const Records& records, int kills, const std::function<void(const fs::path&, const fs::path&)>& after) {
  ScratchDir reference;
  write_file(reference / "eulero_test.dat", flame_config(records));
  auto full = milliseconds::max();  // the faster of two runs
  for (int k = 0; k < 2; ++k) {
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(run_program(reference.path()), 0) << err_of(reference.path());
    full = std::min(full, std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - t0));
    fs::remove(reference / "i_and_min.dat");
  }
  ASSERT_TRUE(broken_files(reference.path(), 33).empty());
  int mid_run = 0;
  for (int k = 0; k < kills; ++k) {
    ScratchDir dir;
    write_file(dir / "eulero_test.dat", flame_config(records));
    write_file(dir / "Fsummary.json", R"({"end": "normal", "exit_status": 0, "earlier": true})");
    {
      Child c(dir.path(), {});
      std::this_thread::sleep_for(full * (2 * k + 1) / (2 * kills));
      c.signal(SIGKILL);
      mid_run += c.exit_code() == 128 + SIGKILL;
    }
    EXPECT_TRUE(broken_files(dir.path(), 33).empty()) << "kill " << k << ": " << ::testing::PrintToString(broken_files(dir.path(), 33));
    after(dir.path(), reference.path());
  }
  EXPECT_GE(mid_run, kills / 2);
}

TEST(Kill, AFlameKilledAnywhereLeavesOnlyWholeFiles) {
  // a snapshot at every step: most kills land during a write. Once the run
  // has written its outputs, the summary is its own: "running" until the end.
  kill_anywhere(small_flame(300, 1), 12, [](const fs::path& dir, const fs::path&) {
    if (!fs::exists(dir / "post_dati.dat")) return;  // killed while reading its input
    const auto summary = nlohmann::json::parse(read_file(dir / "Fsummary.json"));
    EXPECT_FALSE(summary.contains("earlier"));
    if (fs::exists(dir / "Fpr000000.dat") && !fs::exists(dir / "Fpr000301.dat")) {
      EXPECT_EQ(summary["end"], "running");
    }
  });
}

TEST(Kill, AResumedSweepTabulatesAsAnUninterruptedOne) {
  kill_anywhere(small_sweep(150, 3), 8, [](const fs::path& dir, const fs::path& reference) {
    const auto expected = table_rows(read_file(reference / "FandLe.dat"));
    ASSERT_EQ(expected.size(), 6u);  // two uninterrupted sweeps
    ASSERT_EQ(run_program(dir), 0) << err_of(dir);
    EXPECT_EQ(table_rows(read_file(dir / "FandLe.dat")), std::vector(expected.begin(), expected.begin() + 3));
    EXPECT_EQ(read_file(dir / "i_and_min.dat"), " 4\n");
  });
}

TEST(WriteFailures, EachWriterNamesItsFileAndKeepsWhatWasThere) {
  // A size limit cuts the first file that outgrows it; SIGXFSZ keeps its
  // default disposition (the program ignores it itself). A short window, so
  // that the snapshot's companion stays small.
  const Records flame = with(small_flame(60, 20), {{63, "10 0.5"}});
  // a non-uniform grid of 1025 nodes, echoed before the operator set-up stops the run
  const Records grid = with(small_flame(20, 20), {{4, "1025"}, {5, "1"}, {6, "1.0"}});
  std::string grid_file;
  for (int i = 0; i < 1025; ++i) grid_file += "0 " + std::to_string(i) + "\n";
  struct Case {
    Records records;
    long long limit;      // bytes, -1 none
    std::string console;  // standard output: "" a pipe, else a path (under the limit)
    const char *file, *reason, *origin;
    const char* left;     // what `file` holds afterwards (nullptr: whole records; "": nothing)
    const char* summary;  // the summary's end ("": none)
  };
  const char* prefixed = "path_prefix_1";
  const char* workdir = "cartella di lavoro";
  const char* earlier = "earlier\n";
  const Case cases[] = {
      // the summary that says "running" is the first file: the earlier one goes, none stays
      {flame, 100, "", "Fsummary.json", "File too large", prefixed, "", ""},
      {flame, 6000, "", "Fpr000000.dat", "File too large", prefixed, earlier, "write_failure"},
      {small_flame(60, 20), 8000, "", ".Fpr000000.dat.stato", "File too large", prefixed, earlier, "write_failure"},
      {flame, 8000, "", "fort.123", "File too large", workdir, earlier, "write_failure"},
      {with(flame, {{9, "2200"}, {10, "5000"}, {62, "0"}}), 14000, "", "Fsf_delta.dat", "File too large", prefixed,
       nullptr, "write_failure"},
      {grid, 10000, "", "fort.87", "File too large", workdir, nullptr, "write_failure"},
      {with(flame, {{2, "'nowhere/'"}}), -1, "", "nowhere/Fsummary.json", "No such file or directory", prefixed, "",
       ""},
      // the console: a full device, a file under the limit
      {flame, -1, "/dev/full", "standard output", "No space left on device", "la console", nullptr, "write_failure"},
      {with(flame, {{9, "300"}, {10, "1"}}), 16000, "out.txt", "standard output", "File too large", "la console",
       nullptr, "write_failure"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ScratchDir dir;
    write_file(dir / "eulero_test.dat", flame_config(c.records));
    write_file(dir / "grid.dat", grid_file);
    if (c.records.count(2) == 0) write_file(dir / "Fsummary.json", R"({"end": "normal", "exit_status": 0, "earlier": true})");
    if (c.left != nullptr && *c.left != '\0') write_file(dir / c.file, c.left);
    {
      const std::string console = c.console.empty() || c.console[0] == '/' ? c.console : (dir / c.console).string();
      Child run(dir.path(), {}, {.file_size_limit = c.limit, .console = console});
      EXPECT_EQ(run.exit_code(), 5) << err_of(dir.path());
    }
    const std::string err = err_of(dir.path());
    const std::string what = std::string("fiamma: ") + c.file + ": impossibile scrivere" +
                             (c.console.empty() ? " il file (" : " (") + c.reason + ")";
    EXPECT_NE(err.find(what), std::string::npos) << err;
    EXPECT_NE(err.find(c.origin), std::string::npos) << err;
    if (c.left != nullptr) {
      EXPECT_EQ(fs::exists(dir / c.file) ? read_file(dir / c.file) : "", c.left);
    }
    for (const auto& e : fs::directory_iterator(dir.path())) EXPECT_FALSE(is_temporary(e.path().filename().string()));
    auto broken = broken_files(dir.path(), 33);  // the failed file itself aside: its content is checked above
    std::erase_if(broken, [&](const std::string& b) { return b.starts_with(std::string(c.file) + ": "); });
    EXPECT_TRUE(broken.empty()) << ::testing::PrintToString(broken);
    if (c.console.empty()) {
      EXPECT_EQ(out_of(dir.path()).back(), '\n');  // the console flushed whole
    }
    EXPECT_EQ(fs::exists(dir / "Fsummary.json") ? std::string(nlohmann::json::parse(read_file(dir / "Fsummary.json"))["end"]) : "",
              c.summary);
  }
}

TEST(NonFinite, ADivergingSweepStepStopsWithItsState) {
  // 49 nodes over twelve thicknesses diverge within a few tens of steps.
  const auto records = with(small_sweep(1000, 2), {{4, "49"}, {7, "12"}, {6, "0.0"}, {10, "100"}, {76, "1.0"}, {77, "2.0"}});
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", flame_config(records));
  EXPECT_EQ(run_program(dir.path()), 4) << err_of(dir.path());
  const std::string out = out_of(dir.path());
  const auto at = out.find(" Campo non più finito: ");
  ASSERT_NE(at, std::string::npos) << out.substr(out.size() - 500);
  const auto lines = lines_of(out.substr(at));
  ASSERT_EQ(lines.size(), 6u) << out.substr(at);
  EXPECT_TRUE(lines[1].starts_with(" punto: ") || lines[1].starts_with(" nodo: ")) << lines[1];
  ASSERT_TRUE(lines[2].starts_with(" iterazione it = "));
  const int it = std::stoi(lines[2].substr(17));
  EXPECT_GT(it, 1);
  char snapshot[32];
  std::snprintf(snapshot, sizeof snapshot, "Apr%06d.dat", it);
  EXPECT_EQ(lines[4], std::string(" Stato scritto in ") + snapshot);
  EXPECT_EQ(lines[5], " Codice interrotto");
  // the state as it was, in the snapshot of that step
  const std::string state = read_file(dir / snapshot);
  EXPECT_NE(state.find("NaN"), std::string::npos);
  EXPECT_EQ(lines_of(state).size(), 51u);
  // the resume index stays at the failed sweep step, every record whole
  EXPECT_EQ(read_file(dir / "i_and_min.dat"), " 1\n");
  EXPECT_TRUE(broken_files(dir.path(), 49).empty()) << ::testing::PrintToString(broken_files(dir.path(), 49));
  EXPECT_EQ(lines_of(read_file(dir / "Asf_delta.dat")).size(), 2u + it / 50);
  EXPECT_TRUE(table_rows(read_file(dir / "FandLe.dat")).empty());
  EXPECT_NE(err_of(dir.path()).find("non finito"), std::string::npos);
}

TEST(BeforeTheRun, RefusalsAndWarningsNameWhatTheyConcern) {
  const std::string flame = flame_config(small_flame(10, 10));
  // a run of the small flame in the folder, as an earlier one
  const auto earlier = [&](const fs::path& d) {
    write_file(d / "eulero_test.dat", flame);
    EXPECT_EQ(run_program(d), 0);
  };
  // that run's snapshot of step 10 with v = NaN at node 3 (record 5)
  const auto not_finite = [&](const fs::path& d) {
    earlier(d);
    auto snap = lines_of(read_file(d / "Fpr000010.dat"));
    std::istringstream node3(snap[4]);
    std::vector<std::string> tokens{std::istream_iterator<std::string>(node3), {}};
    tokens[2] = "NaN";
    snap[4].clear();
    std::string text;
    for (const auto& token : tokens) snap[4] += " " + token;
    for (const auto& l : snap) text += l + "\n";
    write_file(d / "Fpr000010.dat", text);
    fs::remove(d / "i_and_min.dat");
    fs::remove(d / "post_dati.dat");
  };
  const auto none = [](const fs::path&) {};
  // something that is not a regular file at an output name
  const auto fifo = [](const fs::path& d) { ::mkfifo((d / "Fsf_delta.dat").c_str(), 0644); };
  const auto folder = [](const char* name) { return [name](const fs::path& d) { fs::create_directory(d / name); }; };
  const auto device = [](const fs::path& d) { fs::create_symlink("/dev/full", d / "Fsf_delta.dat"); };
  const std::string length = "record 6 (domain_length) = 0: la lunghezza scelta";
  const Records restart = {{67, "1"}, {70, "'Fpr000010.dat'"}, {8, "10"}, {9, "12"}};
  // the earlier run's last snapshot holds the state after step 10; its companion says so
  const Records continued = with(restart, {{70, "'Fpr000011.dat'"}});
  const std::string not_regular = ": non è un file regolare (";
  struct Case {
    std::function<void(const fs::path&)> prepare;
    Records records;
    std::map<std::string, std::string> files;
    const char* args;
    int status;
    std::string text;  // on standard output with status 0, else on standard error
  };
  const Case cases[] = {
      // no burning rate, no chosen length: refused by the run and by the check alike
      {none, {{51, "1.0d6"}}, {}, "", 2, length}, {none, {{51, "1.0d6"}}, {}, "--check-config", 2, length},
      {none, {{64, "100.0"}}, {}, "", 2, "record 64 (x_anchor): il punto di ancoraggio 2*pi*x_anchor = 628.3"},
      {none, {{64, "100.0"}}, {}, "--check-config", 2, "deve stare dentro il dominio"},
      {none, {{13, "0.44444444444444442"}}, {}, "--check-config", 2, "con questi valori esatti i coefficienti"},
      {none, {}, {{"i_and_min.dat", "0\n"}}, "", 2, "i_and_min.dat: indice di ripresa 0: deve essere almeno 1"},
      {earlier, restart, {}, "--check-config", 0, "Configurazione valida."},
      {not_finite, restart, {}, "", 2, "Fpr000010.dat: record 5 (nodo 3): v = NaN, ogni valore deve essere finito"},
      {earlier, continued, {}, "--check-config", 0, "Configurazione valida."},
      {earlier, with(continued, {{8, "11"}}), {}, "--check-config", 2,
       "record 8 (it_start) = 11: l'istantanea Fpr000011.dat contiene lo stato dopo l'iterazione 10 (file compagno "
       ".Fpr000011.dat.stato): per continuare it_start = 10"},
      {earlier, with(continued, {{63, "20 0.5"}}), {}, "", 2, "record 63 (n_stab) = 20: il file compagno"},
      {earlier, with(continued, {{10, "1"}}), {}, "", 2,
       "l'istantanea di ripartenza Fpr000011.dat verrebbe sostituita all'iterazione 11"},
      // outputs that are not regular files: nothing waits on a FIFO
      {fifo, {}, {}, "", 2, "Fsf_delta.dat" + not_regular + "una FIFO)"},
      {fifo, {}, {}, "--check-config", 2, "Fsf_delta.dat" + not_regular + "una FIFO)"},
      {device, {}, {}, "", 2, "Fsf_delta.dat" + not_regular + "un dispositivo)"},
      {folder("Fpr000010.dat"), {}, {}, "", 2, "Fpr000010.dat" + not_regular + "una cartella)"},
      {folder("fort.93"), {}, {}, "--check-config", 2, "fort.93" + not_regular + "una cartella)"},
      {earlier, {}, {{"i_and_min.dat", " 2\n"}}, "--check-config", 0,
       "Attenzione: i_and_min.dat indica il passo 2 oltre l'ultimo (1): la simulazione non eseguirà nessun passo"},
      {earlier, {}, {}, "--check-config", 0, "Attenzione: 3 file di una simulazione precedente con la stessa marca "
                                             "saranno sostituiti (Fpr000000.dat, Fpr000010.dat, Fpr000011.dat)"},
      {earlier, {}, {}, "--check-config", 0,
       "Attenzione: storia del fronte di una simulazione precedente: Fsf_delta.dat sarà sostituita"},
      {earlier, restart, {}, "--check-config", 0, "Fsf_delta.dat sarà continuata (i suoi record fino a it_start restano"},
      {none, small_sweep(10, 3), {{"i_and_min.dat", " 2\n"}, {"FandLe.dat", ""}}, "--check-config", 0,
       "Attenzione: i_and_min.dat indica il passo 2: la simulazione riprenderà da quel passo"},
      {none, small_sweep(10, 3), {{"FandLe.dat", ""}}, "--check-config", 0,
       "la tabella dell'andamento FandLe.dat esiste: riceverà un nuovo blocco in coda"},
      // texts that look like a mistake warn; a missing output folder is a problem
      {none, {{3, "'" + std::string(40, 'p') + "'"}}, {}, "--check-config", 0,
       "Attenzione: record 3 (path_prefix_2): il testo di 40 caratteri è stato troncato a 32"},
      {none, {{2, "out/"}}, {}, "--check-config", 0,
       "Attenzione: record 2 (path_prefix_1): il testo senza virgolette 'out' finisce alla barra"},
      {none, {}, {{"eulero_test.dat", "\xEF\xBB\xBF" + flame}}, "--check-config", 0,
       "Attenzione: il file inizia con il segno BOM UTF-8 (byte EF BB BF), ignorato"},
      {none, {{3, "'missing/'"}}, {}, "--check-config", 2, "la cartella dei file di uscita missing (da path_prefix_1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ScratchDir dir;
    c.prepare(dir.path());
    write_file(dir / "eulero_test.dat", flame_config(with(small_flame(10, 10), c.records)));
    for (const auto& [name, text] : c.files) write_file(dir / name, text);
    const bool had_report = fs::exists(dir / "post_dati.dat");
    EXPECT_EQ(run_program(dir.path(), c.args), c.status) << err_of(dir.path());
    const std::string said = c.status == 0 ? out_of(dir.path()) : err_of(dir.path());
    EXPECT_NE(said.find(c.text), std::string::npos) << said;
    EXPECT_EQ(fs::exists(dir / "post_dati.dat"), had_report || (c.status == 0 && c.args[0] == '\0'));
  }
}

// Waits until the console shows `text`; false after 60 s.
bool wait_for(const fs::path& dir, const std::string& text) {
  for (int i = 0; i < 6000 && out_of(dir).find(text) == std::string::npos; ++i) std::this_thread::sleep_for(milliseconds(10));
  return out_of(dir).find(text) != std::string::npos;
}

// The lines of standard error that are the program's own messages.
long program_lines(const std::string& err) {
  long count = 0;
  for (const auto& l : lines_of(err)) count += l.starts_with("fiamma: ");
  return count;
}

// The files of a folder but the console, the summary (wall times) and the lock.
std::map<std::string, std::string> outputs_of(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (!name.ends_with(".txt") && !name.ends_with("summary.json") && name != ".fiamma.lock") out[name] = read_file(e.path());
  }
  return out;
}

// Runs a shell command line in `dir`, console and standard error in
// out2.txt and err2.txt; its exit status.
int shell_in(const fs::path& dir, const std::string& command) {
  const int status = std::system(("cd '" + dir.string() + "' && " + command + " > out2.txt 2> err2.txt < /dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Signals, AnInterruptedRunResumedAsToldGoesOnAsIfUninterrupted) {
  // 65 nodes over twelve thicknesses, held by the controller: 2000 steps,
  // snapshots every 100, history records every 50
  const std::string config = flame_config({{4, "65"}, {7, "12"}, {9, "2000"}, {10, "100"}});
  ScratchDir reference, dir;
  write_file(reference / "eulero_test.dat", config);
  ASSERT_EQ(run_program(reference.path()), 0) << err_of(reference.path());
  write_file(dir / "eulero_test.dat", config);
  {
    // stopped once the history holds its record of step 150, after the
    // snapshot of step 100: that record is the interrupted run's own
    Child c(dir.path(), {"--set", "Lewis=1.0"});
    for (int i = 0; i < 60000 && read_file(dir / "Fsf_delta.dat").find("\n 150 ") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    c.signal(SIGSTOP);
    c.signal(SIGTERM);
    c.signal(SIGCONT);
    EXPECT_EQ(c.exit_code(), 128 + SIGTERM);
  }
  const std::string err = err_of(dir.path());
  EXPECT_EQ(program_lines(err), 1) << err;
  EXPECT_TRUE(broken_files(dir.path(), 65).empty()) << ::testing::PrintToString(broken_files(dir.path(), 65));
  const auto at = err.find(", nella stessa cartella: ");
  ASSERT_NE(at, std::string::npos) << err;
  std::string command = err.substr(at + 25);
  command.erase(command.find('\n'));
  const std::string source = err.substr(err.find("ultima istantanea ") + 18, 13);
  struct stat before {};
  ASSERT_EQ(::stat((dir / source).c_str(), &before), 0) << source;
  // the command as written: the same program and arguments, the restart set
  ASSERT_EQ(shell_in(dir.path(), command), 0) << command << "\n" << read_file(dir / "err2.txt");
  struct stat after {};
  ASSERT_EQ(::stat((dir / source).c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // the source was not written over
  // every file as the uninterrupted run left it, bit for bit, and the
  // source's companion, which the restart read and left
  auto resumed = outputs_of(dir.path());
  EXPECT_EQ(resumed.erase("." + source + ".stato"), 1u);
  EXPECT_EQ(resumed, outputs_of(reference.path()));
  // from the snapshot alone (no companion) the restart is not the same run
  // (this flame even diverges)
  fs::remove(dir / ("." + source + ".stato"));
  fs::remove(dir / "Fpr002001.dat");
  shell_in(dir.path(), command);
  EXPECT_NE(read_file(dir / "Fpr002001.dat"), read_file(reference / "Fpr002001.dat"));
}

TEST(Signals, TheRunEndsAtTheNextStepAndSaysHowToGoOn) {
  {
    ScratchDir dir;  // a sweep, stopped by SIGINT during its first step
    write_file(dir / "eulero_test.dat", testing::config_from(testing::source_dir() / "examples/sweep/eulero_test.dat",
                                                             {{9, "2000000"}, {10, "1000"}, {78, "3"}}));
    Child c(dir.path(), {});
    ASSERT_TRUE(wait_for(dir.path(), "ANDAMENTI. LEWIS: "));
    std::this_thread::sleep_for(milliseconds(200));
    c.signal(SIGINT);
    EXPECT_EQ(c.exit_code(), 128 + SIGINT);
    EXPECT_NE(err_of(dir.path()).find("(passo 1 di 3 dell'andamento); per continuare rilanciare nella stessa cartella "
                                      "(l'andamento riprende dal passo 1 scritto in i_and_min.dat): " FIAMMA_BINARY),
              std::string::npos) << err_of(dir.path());
    EXPECT_EQ(read_file(dir / "i_and_min.dat"), " 1\n");
    EXPECT_TRUE(broken_files(dir.path(), 257).empty());
  }
  {
    ScratchDir dir;  // a second signal ends the run at once
    write_file(dir / "eulero_test.dat", flame_config({{9, "2000000"}, {10, "50"}}));
    Child c(dir.path(), {});
    ASSERT_TRUE(wait_for(dir.path(), " it = 50\n"));
    c.signal(SIGSTOP);  // both signals wait for the run to go on
    c.signal(SIGINT);
    c.signal(SIGTERM);
    c.signal(SIGCONT);
    EXPECT_TRUE(WIFSIGNALED(c.wait()));
    EXPECT_EQ(program_lines(err_of(dir.path())), 0) << err_of(dir.path());
  }
  {
    // A signal after the last safe point: a run of no step, waiting for the
    // operator at its stability pause when the signal comes. It finishes its
    // files and says how it ended.
    ScratchDir dir;
    write_file(dir / "eulero_test.dat", flame_config(with(small_flame(0, 10), {{16, "0"}, {17, "1.0"}})));
    Child c(dir.path(), {}, {.file_size_limit = -1, .console = "", .hold_input = true});
    ASSERT_TRUE(wait_for(dir.path(), "per continuare premere invio"));
    c.signal(SIGTERM);
    EXPECT_EQ(c.exit_code(), 128 + SIGTERM);
    EXPECT_TRUE(fs::exists(dir / "Fpr000001.dat"));
    const auto summary = nlohmann::json::parse(read_file(dir / "Fsummary.json"));
    EXPECT_EQ(summary["end"], "interrupted");
    EXPECT_EQ(summary["exit_status"], 128 + SIGTERM);
    EXPECT_NE(err_of(dir.path()).find("fiamma: interrotto da SIGTERM quando la simulazione era ormai finita"),
              std::string::npos) << err_of(dir.path());
  }
}

TEST(Folders, OneRunAtATimeInAFolder) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", flame_config({{9, "2000000"}, {10, "50"}}));
  Child first(dir.path(), {});
  const std::string holder = "pid " + std::to_string(first.pid()) + ", host ";
  for (int i = 0; i < 6000 && read_file(dir / ".fiamma.lock").find(holder) != 0; ++i) std::this_thread::sleep_for(milliseconds(10));
  ASSERT_TRUE(wait_for(dir.path(), " it = 50\n"));
  const auto files = outputs_of(dir.path());
  const std::string summary = read_file(dir / "Fsummary.json");
  // a second run is refused at once, naming the holder, and touches nothing
  EXPECT_EQ(shell_in(dir.path(), FIAMMA_BINARY), 2);
  EXPECT_NE(read_file(dir / "err2.txt").find("fiamma: la cartella . è già usata da un'altra simulazione (" + holder),
            std::string::npos) << read_file(dir / "err2.txt");
  EXPECT_EQ(read_file(dir / "Fsummary.json"), summary);
  EXPECT_EQ(outputs_of(dir.path()).at("post_dati.dat"), files.at("post_dati.dat"));
  first.signal(SIGTERM);
  EXPECT_EQ(first.exit_code(), 128 + SIGTERM);
  // once it has ended, the folder is free again
  EXPECT_EQ(read_file(dir / ".fiamma.lock"), "");
  EXPECT_EQ(shell_in(dir.path(), FIAMMA_BINARY " --set it_end=1"), 0) << read_file(dir / "err2.txt");
}

TEST(Readers, OnlyRegularFilesOfAReasonableSize) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", flame_config(small_flame(10, 10)));
  ASSERT_EQ(::mkfifo((dir / "i_and_min.dat").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo.dat").c_str(), 0644), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"--check-config", "fifo.dat"}}) {
    Child c(dir.path(), args);
    ASSERT_FALSE(c.running_after(milliseconds(30000))) << "a FIFO held the run";
    EXPECT_EQ(c.exit_code(), 2);
    EXPECT_NE(err_of(dir.path()).find("non è un file regolare"), std::string::npos) << err_of(dir.path());
  }
  fs::remove(dir / "i_and_min.dat");
  write_file(dir / "eulero_test.dat", flame_config(small_flame(10, 10)) + std::string(17u << 20, ' '));
  EXPECT_EQ(run_program(dir.path()), 2);
  EXPECT_NE(err_of(dir.path()).find("eulero_test.dat: il file supera 16 MiB"), std::string::npos) << err_of(dir.path());
}

}  // namespace
}  // namespace fiamma
