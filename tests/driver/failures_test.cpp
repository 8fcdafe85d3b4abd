// Failures provoked for real on the built program: kills at any moment,
// writes that fail, fields that stop being finite, signals, refused and
// questionable inputs. Whatever happens, every file left behind is whole
// and the exit status says what happened.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/free_format.hpp"
#include "driver/process_support.hpp"
#include "output/snapshot.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

namespace fs = std::filesystem;
using testing::Child;
using testing::flame_config;
using testing::lines_of;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;
using std::chrono::milliseconds;

// A small flame that stays finite for 300 steps: 33 nodes, a domain of six
// predicted thicknesses.
std::map<int, std::string> small_flame(int steps, int out_every) {
  return {{4, "33"}, {7, "6"}, {9, std::to_string(steps)}, {10, std::to_string(out_every)}};
}

// The same as a sweep over the Lewis number on a fixed domain, so that a
// resumed step runs exactly as it would have.
std::map<int, std::string> small_sweep(int steps, int count) {
  auto r = small_flame(steps, steps);
  r[6] = "1.125";
  r[74] = "1";
  r[75] = "3";
  r[76] = "0.9";
  r[77] = "1.4";
  r[78] = std::to_string(count);
  return r;
}

int run_to_end(const ScratchDir& dir, const std::vector<std::string>& args = {}, Child::Options o = {}) {
  Child c(dir.path(), args, o);
  return c.exit_code();
}

std::string err_of(const ScratchDir& dir) { return read_file(dir / "err.txt"); }
std::string out_of(const ScratchDir& dir) { return read_file(dir / "out.txt"); }

// Every blank-separated token a number as the number writer writes it.
int count_numbers(const std::string& line) {
  int count = 0;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size()) break;
    std::size_t j = line.find(' ', i);
    if (j == std::string::npos) j = line.size();
    const std::string token = line.substr(i, j - i);
    char* end = nullptr;
    std::strtod(token.c_str(), &end);
    if (end != token.c_str() + token.size()) return -1;
    ++count;
    i = j;
  }
  return count;
}

bool is_temporary(const std::string& name) {
  return name.size() > 5 && name[0] == '.' && name.compare(name.size() - 4, 4, ".tmp") == 0;
}

// Lines of a table: header and zone lines (starting with the given words)
// or records of exactly `columns` numbers; "" when whole.
std::string table_problem(const std::string& text, int columns) {
  if (!text.empty() && text.back() != '\n') return "last line cut";
  int line_no = 0;
  for (const auto& l : lines_of(text)) {
    ++line_no;
    if (l.rfind(" VARIABLES", 0) == 0 || l.rfind(" ZONE", 0) == 0) continue;
    if (count_numbers(l) != columns) return "line " + std::to_string(line_no) + " not whole: " + l.substr(0, 80);
  }
  return "";
}

// What is wrong with one file a run left, or "" when it is whole.
std::string whole_file_problem(const fs::path& p, int n) {
  const std::string name = p.filename().string();
  const std::string text = read_file(p);
  if (name == "eulero_test.dat" || name == "out.txt" || name == "err.txt" || is_temporary(name)) return "";
  if (name.size() == 13 && name.compare(1, 2, "pr") == 0) {
    const auto lines = lines_of(text);
    if (text.empty() || text.back() != '\n') return "snapshot cut";
    if (lines.size() != static_cast<std::size_t>(n) + 2) return "snapshot of " + std::to_string(lines.size()) + " lines";
    if (lines[0] != " " + padded(kSnapshotHeader, 96)) return "snapshot header";
    if (lines[1].rfind(" ZONE I =", 0) != 0) return "snapshot zone line";
    for (std::size_t i = 2; i < lines.size(); ++i) {
      if (count_numbers(lines[i]) != 10) return "snapshot line " + std::to_string(i + 1);
    }
    return "";
  }
  if (name.size() == 13 && name.substr(1) == "sf_delta.dat") return table_problem(text, 16);
  if (name.size() == 10 && name.compare(1, 3, "and") == 0) return table_problem(text, 10);
  if (name == "post_dati.dat") return lines_of(text).size() == 19 && text.back() == '\n' ? "" : "post_dati.dat cut";
  if (name == "i_and_min.dat") {
    const auto lines = lines_of(text);
    return lines.size() == 1 && text.back() == '\n' && count_numbers(lines[0]) == 1 ? "" : "i_and_min.dat: " + text;
  }
  if (name.size() == 13 && name.substr(1) == "summary.json") {
    return nlohmann::json::accept(text) ? "" : "summary cut";
  }
  if (name == "fort.93") return table_problem(text, 2);
  if (name == "fort.456") return table_problem(text, 3);
  if (name == "fort.123") return table_problem(text, 5);
  return "unexpected file";
}

// Every file in `dir` whole; the names of the files that are not.
std::vector<std::string> broken_files(const ScratchDir& dir, int n) {
  std::vector<std::string> broken;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string problem = whole_file_problem(e.path(), n);
    if (!problem.empty()) broken.push_back(e.path().filename().string() + ": " + problem);
  }
  return broken;
}

std::vector<std::string> temporaries(const ScratchDir& dir) {
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    if (is_temporary(e.path().filename().string())) found.push_back(e.path().filename().string());
  }
  return found;
}

// The data rows of a sweep table, blocks of header and zone lines left out.
std::vector<std::string> table_rows(const std::string& text) {
  std::vector<std::string> rows;
  for (const auto& l : lines_of(text)) {
    if (l.rfind(" VARIABLES", 0) != 0 && l.rfind(" ZONE", 0) != 0) rows.push_back(l);
  }
  return rows;
}

milliseconds timed_run(const ScratchDir& dir) {
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(run_to_end(dir), 0) << err_of(dir);
  return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - t0);
}

// ------------------------------------------------------------------ kills

// Kill k of `kills`: the run in dir (configured by `records`) killed at the
// middle of the k-th of `kills` equal parts of the uninterrupted run's time
// `full`; whether the kill came before the run ended is added to `mid_run`.
// No file of the folder may be broken afterwards.
void kill_partway(const ScratchDir& dir, const std::map<int, std::string>& records, milliseconds full, int k,
                  int kills, int& mid_run) {
  write_file(dir / "eulero_test.dat", flame_config(records));
  {
    Child c(dir.path(), {});
    std::this_thread::sleep_for(full * (2 * k + 1) / (2 * kills));
    c.signal(SIGKILL);
    if (c.exit_code() == 128 + SIGKILL) ++mid_run;
  }
  const auto broken = broken_files(dir, 33);
  EXPECT_TRUE(broken.empty()) << "kill " << k << ": " << ::testing::PrintToString(broken);
}

TEST(Kill, AFlameKilledAnywhereLeavesOnlyWholeFiles) {
  // A snapshot at every step: most kills land during a write.
  const auto records = small_flame(300, 1);
  ScratchDir reference;
  write_file(reference / "eulero_test.dat", flame_config(records));
  const milliseconds full = timed_run(reference);
  ASSERT_TRUE(broken_files(reference, 33).empty());

  constexpr int kKills = 12;
  int mid_run = 0;
  for (int k = 0; k < kKills; ++k) {
    ScratchDir dir;
    kill_partway(dir, records, full, k, kKills, mid_run);
  }
  EXPECT_GE(mid_run, kKills / 2);
}

TEST(Kill, AResumedSweepTabulatesAsAnUninterruptedOne) {
  const auto records = small_sweep(150, 3);
  ScratchDir reference;
  write_file(reference / "eulero_test.dat", flame_config(records));
  const milliseconds full = timed_run(reference);
  const auto expected = table_rows(read_file(reference / "FandLe.dat"));
  ASSERT_EQ(expected.size(), 3u);

  constexpr int kKills = 8;
  int mid_run = 0;
  for (int k = 0; k < kKills; ++k) {
    ScratchDir dir;
    kill_partway(dir, records, full, k, kKills, mid_run);
    ASSERT_EQ(run_to_end(dir), 0) << err_of(dir);
    EXPECT_EQ(table_rows(read_file(dir / "FandLe.dat")), expected) << "kill " << k;
    EXPECT_EQ(read_file(dir / "i_and_min.dat"), " 4\n");
  }
  EXPECT_GE(mid_run, kKills / 2);
}

// ------------------------------------------------------------ write failures

struct WriteFailure {
  ScratchDir dir;
  explicit WriteFailure(std::map<int, std::string> records = small_flame(60, 20)) {
    write_file(dir / "eulero_test.dat", flame_config(records));
  }
  // Runs, expects exit status 5 with a message naming `file`, `reason` and
  // where its path comes from, and no temporary left.
  void expect_failure(const std::string& file, const std::string& reason, const std::string& origin,
                      Child::Options o = {}) {
    EXPECT_EQ(run_to_end(dir, {}, o), 5) << out_of(dir) << err_of(dir);
    check(file, reason, origin);
  }
  void check(const std::string& file, const std::string& reason, const std::string& origin) {
    const std::string err = err_of(dir);
    EXPECT_NE(err.find("fiamma: " + file + ": impossibile scrivere il file (" + reason + ")"), std::string::npos) << err;
    EXPECT_NE(err.find(origin), std::string::npos) << err;
    EXPECT_TRUE(temporaries(dir).empty()) << ::testing::PrintToString(temporaries(dir));
    EXPECT_EQ(out_of(dir).back(), '\n');  // the console flushed whole
  }
};

TEST(WriteFailures, AReplacedFileKeepsItsEarlierVersion) {
  {
    WriteFailure w;  // the parameter report exceeds a 100-byte limit
    write_file(w.dir / "post_dati.dat", "earlier\n");
    w.expect_failure("post_dati.dat", "File too large", "cartella di lavoro", {.file_size_limit = 100});
    EXPECT_EQ(read_file(w.dir / "post_dati.dat"), "earlier\n");
  }
  {
    WriteFailure w;  // the report fits in 2000 bytes, the first snapshot does not
    write_file(w.dir / "Fpr000000.dat", "earlier\n");
    w.expect_failure("Fpr000000.dat", "File too large", "path_prefix_1", {.file_size_limit = 2000});
    EXPECT_EQ(read_file(w.dir / "Fpr000000.dat"), "earlier\n");
    EXPECT_EQ(lines_of(read_file(w.dir / "post_dati.dat")).size(), 19u);
  }
}

TEST(WriteFailures, EachWriterNamesItsFile) {
  {
    WriteFailure w;  // a later snapshot
    fs::create_directory(w.dir / "Fpr000040.dat");
    w.expect_failure("Fpr000040.dat", "Is a directory", "path_prefix_1");
    EXPECT_TRUE(fs::exists(w.dir / "Fpr000020.dat"));
  }
  for (const char* dump : {"fort.93", "fort.456", "fort.123"}) {
    WriteFailure w;
    fs::create_directory(w.dir / dump);
    w.expect_failure(dump, "Is a directory", "cartella di lavoro");
  }
  {
    WriteFailure w;  // the front history, appended record by record
    fs::create_symlink("/dev/full", w.dir / "Fsf_delta.dat");
    w.expect_failure("Fsf_delta.dat", "No space left on device", "path_prefix_1");
  }
  {
    WriteFailure w(small_sweep(60, 2));  // the sweep table
    fs::create_symlink("/dev/full", w.dir / "FandLe.dat");
    w.expect_failure("FandLe.dat", "No space left on device", "path_prefix_1");
  }
  {
    WriteFailure w(small_flame(60, 20));  // a prefix naming a folder that is not there
    write_file(w.dir / "eulero_test.dat", flame_config({{2, "'nowhere/'"}, {4, "33"}, {7, "6"}, {9, "20"}}));
    w.expect_failure("nowhere/Fsf_delta.dat", "No such file or directory", "path_prefix_1");
  }
  {
    // The grid echo: a non-uniform grid is echoed before the operator
    // set-up stops the run.
    auto records = small_flame(20, 20);
    records[5] = "1";
    records[6] = "1.0";
    WriteFailure w(records);
    std::string grid;
    for (int i = 0; i < 33; ++i) grid += "0 " + std::to_string(i) + "\n";
    write_file(w.dir / "grid.dat", grid);
    fs::create_symlink("/dev/full", w.dir / "fort.87");
    w.expect_failure("fort.87", "No space left on device", "cartella di lavoro");
  }
  {
    // The analytic solution of a test case.
    WriteFailure w;
    write_file(w.dir / "eulero_test.dat",
               testing::config_from(testing::source_dir() / "examples/simple-wave/eulero_test.dat",
                                    {{4, "33"}, {9, "10"}, {10, "5"}}));
    write_file(w.dir / "profilo_an.dat", read_file(testing::source_dir() / "examples/simple-wave/profilo_an.dat"));
    fs::create_directory(w.dir / "Wan00005.dat");
    w.expect_failure("Wan00005.dat", "Is a directory", "path_prefix_1");
    EXPECT_TRUE(fs::exists(w.dir / "Wan00000.dat"));
  }
  {
    // The resume index: its temporary name is taken before the program
    // starts.
    WriteFailure w;
    Child c(w.dir.path(), {}, {.hold = true});
    const fs::path blocker = w.dir / (".i_and_min.dat." + std::to_string(c.pid()) + ".tmp");
    fs::create_directory(blocker);
    c.release();
    EXPECT_EQ(c.exit_code(), 5) << err_of(w.dir);
    fs::remove(blocker);
    w.check("i_and_min.dat", "File exists", "cartella di lavoro");
  }
}

// --------------------------------------------------------------- non-finite

TEST(NonFinite, ADivergingSweepStepStopsWithItsState) {
  // 49 nodes over twelve thicknesses diverge within a few tens of steps.
  auto records = small_flame(1000, 100);
  records[4] = "49";
  records[7] = "12";
  records[74] = "1";
  records[75] = "3";
  records[76] = "1.0";
  records[77] = "2.0";
  records[78] = "2";
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", flame_config(records));
  EXPECT_EQ(run_to_end(dir), 4) << err_of(dir);
  const std::string out = out_of(dir);
  const auto at = out.find(" Campo non più finito: ");
  ASSERT_NE(at, std::string::npos) << out.substr(out.size() - 500);
  const auto lines = lines_of(out.substr(at));
  ASSERT_EQ(lines.size(), 6u) << out.substr(at);
  EXPECT_TRUE(lines[1].rfind(" punto: ", 0) == 0 || lines[1].rfind(" nodo: ", 0) == 0) << lines[1];
  ASSERT_EQ(lines[2].rfind(" iterazione it = ", 0), 0u);
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
  EXPECT_TRUE(broken_files(dir, 49).empty()) << ::testing::PrintToString(broken_files(dir, 49));
  EXPECT_EQ(lines_of(read_file(dir / "Asf_delta.dat")).size(), 2u + it / 50);
  EXPECT_TRUE(table_rows(read_file(dir / "FandLe.dat")).empty());
  EXPECT_NE(err_of(dir).find("non finito"), std::string::npos);
}

// --------------------------------------------------------------- refusals

TEST(Refusals, ValuesThatCannotMakeARunAreRefusedBeforeAnyFile) {
  const std::vector<std::pair<std::map<int, std::string>, std::string>> cases = {
      {{{49, "0"}}, "record 49 (Lewis) = 0.0000000000000000"},
      {{{49, "-1"}}, "record 49 (Lewis)"},
      {{{47, "1"}}, "record 47 (gamma) = 1.0000000000000000"},
      {{{15, "0"}}, "record 15 (stab)"},
      {{{14, "-0.5"}}, "record 14 (cfl)"},
      {{{16, "0"}, {17, "0"}}, "record 17 (dt)"},
      {{{25, "0"}}, "record 25 (th_fresh)"},
      {{{50, "NaN"}}, "record 50 (Damkohler) = NaN"},
      {{{51, "Inf"}}, "record 51 (Zeldovich) = Infinity"},
      {{{23, "-Inf"}}, "record 23 (x0_ff_2) = -Infinity"},
      {{{5, "2"}}, "record 5 (grid) = 2"},
      {{{9, "2147483647"}}, "record 9 (it_end) = 2147483647"},
      {{{50, "0"}}, "record 6 (domain_length) = 0: la lunghezza scelta"},
      {{{28, "0"}}, "record 6 (domain_length) = 0: la lunghezza scelta"},
      {{{50, "200000001*1.0"}}, "fattore di ripetizione troppo grande"},
  };
  for (const auto& [records, expected] : cases) {
    ScratchDir dir;
    auto r = small_flame(10, 10);
    for (const auto& [k, v] : records) r[k] = v;
    write_file(dir / "eulero_test.dat", flame_config(r));
    EXPECT_EQ(run_to_end(dir), 2) << expected;
    EXPECT_NE(err_of(dir).find(expected), std::string::npos) << err_of(dir);
    EXPECT_FALSE(fs::exists(dir / "post_dati.dat")) << expected;
    EXPECT_EQ(run_to_end(dir, {"--check-config"}), 2) << expected;
    EXPECT_NE(err_of(dir).find(expected), std::string::npos) << err_of(dir);
  }
  // what a user may mean stays allowed: an anchoring that never starts, a
  // fixed step that is not used
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", flame_config({{66, "Inf"}, {17, "0"}, {50, "200000000*1.0d5"}}));
  EXPECT_EQ(run_to_end(dir, {"--check-config"}), 0) << err_of(dir);
}

TEST(Refusals, ResumeIndexAndRestartSnapshot) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", flame_config(small_flame(10, 10)));
  write_file(dir / "i_and_min.dat", "0\n");
  EXPECT_EQ(run_to_end(dir), 2);
  EXPECT_NE(err_of(dir).find("i_and_min.dat: indice di ripresa 0: deve essere almeno 1"), std::string::npos)
      << err_of(dir);
  EXPECT_FALSE(fs::exists(dir / "post_dati.dat"));
  fs::remove(dir / "i_and_min.dat");

  // a snapshot of a finished run restarts; with one NaN it is refused
  ASSERT_EQ(run_to_end(dir), 0);
  fs::remove(dir / "i_and_min.dat");
  auto restart = small_flame(10, 10);
  restart[67] = "1";
  restart[70] = "'Fpr000010.dat'";
  restart[8] = "10";
  restart[9] = "12";
  write_file(dir / "eulero_test.dat", flame_config(restart));
  EXPECT_EQ(run_to_end(dir, {"--check-config"}), 0) << err_of(dir);
  std::string snap = read_file(dir / "Fpr000010.dat");
  const auto line5 = snap.find('\n', snap.find('\n', snap.find('\n', snap.find('\n') + 1) + 1) + 1) + 1;
  const auto v = snap.find(' ', snap.find(' ', line5 + 1) + 1) + 1;  // third column, v
  snap.replace(v, snap.find(' ', v) - v, "NaN");
  write_file(dir / "Fpr000010.dat", snap);
  fs::remove(dir / "post_dati.dat");
  EXPECT_EQ(run_to_end(dir), 2);
  EXPECT_NE(err_of(dir).find("Fpr000010.dat: record 5 (nodo 3): v = NaN, ogni valore deve essere finito"),
            std::string::npos)
      << err_of(dir);
  EXPECT_FALSE(fs::exists(dir / "post_dati.dat"));
}

// ------------------------------------------------------ check-config warnings

TEST(CheckConfig, PredictsWhatTheRunWillDo) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", flame_config(small_flame(10, 10)));
  EXPECT_EQ(run_to_end(dir, {"--check-config"}), 0);
  for (const auto& l : lines_of(out_of(dir))) {  // only the short domain's warning: nothing to replace yet
    if (l.rfind("Attenzione", 0) == 0) {
      EXPECT_NE(l.find("ancoraggio"), std::string::npos) << l;
    }
  }

  // files of an earlier run with the same tag, a resume index that skips steps
  ASSERT_EQ(run_to_end(dir), 0);
  write_file(dir / "i_and_min.dat", " 2\n");
  EXPECT_EQ(run_to_end(dir, {"--check-config"}), 0);
  std::string out = out_of(dir);
  EXPECT_NE(out.find("Attenzione: i_and_min.dat indica il passo 2 oltre l'ultimo (1): la simulazione non eseguirà "
                     "nessun passo"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("saranno sostituiti"), std::string::npos) << out;  // no step will run
  write_file(dir / "i_and_min.dat", " 1\n");
  EXPECT_EQ(run_to_end(dir, {"--check-config"}), 0);
  out = out_of(dir);
  EXPECT_NE(out.find("Attenzione: 3 file di una simulazione precedente con la stessa marca saranno sostituiti "
                     "(Fpr000000.dat, Fpr000010.dat, Fpr000011.dat)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Attenzione: storia del fronte di una simulazione precedente: Fsf_delta.dat sarà sostituita"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Configurazione valida."), std::string::npos);

  auto sweep = small_sweep(10, 3);
  write_file(dir / "eulero_test.dat", flame_config(sweep));
  write_file(dir / "i_and_min.dat", " 2\n");
  write_file(dir / "FandLe.dat", "");
  EXPECT_EQ(run_to_end(dir, {"--check-config"}), 0);
  out = out_of(dir);
  EXPECT_NE(out.find("Attenzione: i_and_min.dat indica il passo 2: la simulazione riprenderà da quel passo"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("la tabella dell'andamento FandLe.dat esiste: riceverà un nuovo blocco in coda"), std::string::npos)
      << out;

  // a prefix cut to its field warns; a missing output folder is a problem
  auto r = small_flame(10, 10);
  r[3] = "'" + std::string(40, 'p') + "'";
  write_file(dir / "eulero_test.dat", flame_config(r));
  fs::remove(dir / "i_and_min.dat");
  EXPECT_EQ(run_to_end(dir, {"--check-config"}), 0);
  EXPECT_NE(out_of(dir).find("Attenzione: record 3 (path_prefix_2): il testo di 40 caratteri è stato troncato a 32"),
            std::string::npos)
      << out_of(dir);
  r[3] = "'missing/'";
  write_file(dir / "eulero_test.dat", flame_config(r));
  EXPECT_EQ(run_to_end(dir, {"--check-config"}), 2);
  EXPECT_NE(err_of(dir).find("la cartella dei file di uscita"), std::string::npos) << err_of(dir);
  EXPECT_NE(err_of(dir).find("uscita missing (da path_prefix_1"), std::string::npos) << err_of(dir);
}

// ------------------------------------------------------------------ signals

// The lines of standard error that the program's own messages begin
// ("fiamma: ..."); the rest are the run's diagnostics.
long program_lines(const std::string& err) {
  long count = 0;
  for (const auto& l : lines_of(err)) count += l.rfind("fiamma: ", 0) == 0 ? 1 : 0;
  return count;
}

// Waits until the console shows `text`; false after 60 s.
bool wait_for(const ScratchDir& dir, const std::string& text) {
  for (int i = 0; i < 6000; ++i) {
    if (out_of(dir).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return false;
}

TEST(Signals, TheRunEndsAtTheNextStepAndSaysHowToGoOn) {
  {
    ScratchDir dir;  // a long single run of the example flame, stopped by SIGTERM
    write_file(dir / "eulero_test.dat", flame_config({{9, "2000000"}, {10, "50"}}));
    Child c(dir.path(), {});
    ASSERT_TRUE(wait_for(dir, " it = 50\n"));
    c.signal(SIGTERM);
    EXPECT_EQ(c.exit_code(), 128 + SIGTERM);
    const std::string err = err_of(dir);
    EXPECT_EQ(program_lines(err), 1) << err;
    EXPECT_NE(err.find("fiamma: interrotto da SIGTERM dopo l'iterazione "), std::string::npos) << err;
    const auto at = err.find("ultima istantanea ") + 18;
    const std::string snapshot = err.substr(at, 13);
    EXPECT_TRUE(whole_file_problem(dir / snapshot, 257).empty()) << snapshot;
    EXPECT_TRUE(broken_files(dir, 257).empty());
    EXPECT_EQ(out_of(dir).back(), '\n');
  }
  {
    ScratchDir dir;  // a sweep, stopped by SIGINT during its first step
    write_file(dir / "eulero_test.dat", testing::config_from(testing::source_dir() / "examples/sweep/eulero_test.dat",
                                                             {{9, "2000000"}, {10, "1000"}, {78, "3"}}));
    Child c(dir.path(), {});
    ASSERT_TRUE(wait_for(dir, "ANDAMENTI. LEWIS: "));
    std::this_thread::sleep_for(milliseconds(200));
    c.signal(SIGINT);
    EXPECT_EQ(c.exit_code(), 128 + SIGINT);
    EXPECT_NE(err_of(dir).find("(passo 1 di 3 dell'andamento); per continuare rilanciare nella stessa cartella: "
                               "l'andamento riprende dal passo 1 scritto in i_and_min.dat"),
              std::string::npos)
        << err_of(dir);
    EXPECT_EQ(read_file(dir / "i_and_min.dat"), " 1\n");
    EXPECT_TRUE(broken_files(dir, 257).empty());
  }
  {
    ScratchDir dir;  // a second signal ends the run at once
    write_file(dir / "eulero_test.dat", flame_config({{9, "2000000"}, {10, "50"}}));
    Child c(dir.path(), {});
    ASSERT_TRUE(wait_for(dir, " it = 50\n"));
    c.signal(SIGSTOP);  // both signals wait for the run to go on
    c.signal(SIGINT);
    c.signal(SIGTERM);
    c.signal(SIGCONT);
    const int status = c.wait();
    EXPECT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(program_lines(err_of(dir)), 0) << err_of(dir);
  }
}

// ------------------------------------------------------------------ readers

TEST(Readers, OnlyRegularFilesOfAReasonableSize) {
  ScratchDir dir;
  write_file(dir / "eulero_test.dat", flame_config(small_flame(10, 10)));
  ASSERT_EQ(::mkfifo((dir / "i_and_min.dat").c_str(), 0644), 0);
  {
    Child c(dir.path(), {});
    ASSERT_FALSE(c.running_after(milliseconds(30000))) << "a FIFO held the run";
    EXPECT_EQ(c.exit_code(), 2);
  }
  EXPECT_NE(err_of(dir).find("i_and_min.dat: non è un file regolare"), std::string::npos) << err_of(dir);
  fs::remove(dir / "i_and_min.dat");
  ASSERT_EQ(::mkfifo((dir / "fifo.dat").c_str(), 0644), 0);
  {
    Child c(dir.path(), {"--check-config", "fifo.dat"});
    ASSERT_FALSE(c.running_after(milliseconds(30000))) << "a FIFO held the check";
    EXPECT_EQ(c.exit_code(), 2);
  }
  write_file(dir / "eulero_test.dat", flame_config(small_flame(10, 10)) + std::string(17u << 20, ' '));
  EXPECT_EQ(run_to_end(dir), 2);
  EXPECT_NE(err_of(dir).find("eulero_test.dat: il file supera 16 MiB"), std::string::npos) << err_of(dir);
}

}  // namespace
}  // namespace fiamma
