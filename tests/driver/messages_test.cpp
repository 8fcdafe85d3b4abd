// The program in two languages: every row of the message table has its
// English, no Italian text reaches the user outside the table, and runs in
// English (the four examples, shortened, and the failures and options a user
// meets) print no Italian word, with the numbers and lines of the Italian.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/messages.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchDir;
using testing::err_of;
using testing::out_of;
using testing::run_program;
using testing::source_dir;

// Words that give Italian away (compared in lower case, whole words; a word
// runs over letters, digits, '_', '-' and the bytes of accented letters).
// Not "le", "da", "del": the codes of Lewis and Damkohler, a column name.
const std::set<std::string> kItalianWords = {
    "il", "lo", "la", "gli", "di", "della", "dei", "delle", "dell", "nel", "con", "non", "un", "una", "che", "è",
    "velocità", "velocita", "spessore", "fronte", "passo", "andamento", "iterazioni", "valore", "deve", "essere",
    "simulazione", "griglia", "dominio", "campo", "punto", "errore", "riga", "atteso", "trovato", "manca",
    "combustione", "temperatura", "tempo", "opzione", "configurazione", "ripartenza", "istantanea", "indice",
    "segnale", "programma", "assestata", "conservazione", "correzioni", "ingresso", "ancoraggio"};

std::vector<std::string> italian_words_in(const std::string& text) {
  std::vector<std::string> found;
  std::string word;
  auto flush = [&] {
    if (kItalianWords.count(word) != 0) found.push_back(word);
    word.clear();
  };
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '_' || c == '-' || c >= 0x80) {
      word += static_cast<char>(std::tolower(c));
    } else {
      flush();
    }
  }
  flush();
  return found;
}

// The placeholders {1}..{9} of a text, sorted.
std::string placeholders(std::string_view text) {
  std::string p;
  for (std::size_t i = 0; i + 2 < text.size(); ++i) {
    if (text[i] == '{' && text[i + 2] == '}') p += text[i + 1];
  }
  std::sort(p.begin(), p.end());
  return p;
}

TEST(MessageCatalog, EveryRowHasItsEnglish) {
  std::set<std::string_view> seen;
  for (const MessageEntry& row : kMessageTable) {
    SCOPED_TRACE(std::string(row.it));
    EXPECT_TRUE(seen.insert(row.it).second) << "the Italian text appears twice";
    EXPECT_FALSE(row.en.empty());
    EXPECT_NE(row.en, row.it);
    EXPECT_EQ(placeholders(row.en), placeholders(row.it));
    EXPECT_EQ(italian_words_in(std::string(row.en)), std::vector<std::string>{});
    // the layout: a leading blank, a trailing blank, a padding of blanks
    EXPECT_EQ(row.en.front() == ' ', row.it.front() == ' ');
    EXPECT_EQ(row.en.back() == ' ', row.it.back() == ' ');
    EXPECT_EQ(row.en.ends_with("  "), row.it.ends_with("  "));
  }
}

// The string literals of a C++ source, adjacent ones joined, with their
// line and whether they carry the suffix _it; comments skipped.
struct Literal {
  std::string text;
  int line;
  bool key;
};
std::vector<Literal> literals_of(const std::string& src) {
  std::vector<Literal> out;
  int line = 1;
  bool joining = false;  // the previous token was a literal without suffix
  for (std::size_t i = 0; i < src.size(); ++i) {
    const char c = src[i];
    if (c == '\n') ++line;
    if (c == '/' && i + 1 < src.size() && (src[i + 1] == '/' || src[i + 1] == '*')) {
      const std::size_t end = src[i + 1] == '/' ? src.find('\n', i) : src.find("*/", i);
      line += static_cast<int>(std::count(src.begin() + static_cast<long>(i), src.begin() + static_cast<long>(end), '\n'));
      i = src[i + 1] == '/' ? end - 1 : end + 1;
      continue;
    }
    if (c == '\'') {  // a character literal
      i += src[i + 1] == '\\' ? 3 : 2;
      joining = false;
      continue;
    }
    if (c != '"') {
      if (!std::isspace(static_cast<unsigned char>(c))) joining = false;
      continue;
    }
    std::string text;
    for (++i; src[i] != '"'; ++i) {
      if (src[i] != '\\') {
        text += src[i];
        continue;
      }
      const char e = src[++i];
      text += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
    }
    const bool key = src.compare(i + 1, 3, "_it") == 0;
    if (joining) {
      out.back().text += text;
      out.back().key = key;
    } else {
      out.push_back({text, line, key});
    }
    joining = !key;
  }
  return out;
}

TEST(MessageCatalog, SourcesSayNothingOutsideTheTable) {
  std::set<std::string> keys;
  for (const auto& entry : fs::recursive_directory_iterator(source_dir() / "src")) {
    const fs::path& p = entry.path();
    if (p.filename() == "message_table.hpp" || (p.extension() != ".cpp" && p.extension() != ".hpp")) continue;
    for (const Literal& l : literals_of(read_file(p))) {
      if (l.key) {
        keys.insert(l.text);
      } else {
        EXPECT_EQ(italian_words_in(l.text), std::vector<std::string>{})
            << p.filename().string() << ":" << l.line << " \"" << l.text
            << "\": a message goes into core/message_table.hpp and is written \"...\"_it";
      }
    }
  }
  for (const MessageEntry& row : kMessageTable) {
    EXPECT_EQ(keys.count(std::string(row.it)), 1u) << "a row that no code says: " << row.it;
  }
}

// The numbers of each line of a text (the words that read whole as one).
std::vector<std::vector<std::string>> numbers_by_line(const std::string& text) {
  std::vector<std::vector<std::string>> out;
  for (const std::string& line : testing::lines_of(text)) {
    std::vector<std::string> numbers;
    std::istringstream words(line);
    for (std::string w; words >> w;) {
      char* end = nullptr;
      std::strtod(w.c_str(), &end);
      if (end == w.c_str() + w.size()) numbers.push_back(w);
    }
    out.push_back(numbers);
  }
  return out;
}

TEST(MessageCatalog, EnglishRunsSpeakEnglish) {
  ScratchDir dir;
  for (const char* example : {"flame", "restart", "sweep", "simple-wave"}) {
    fs::copy(source_dir() / "examples" / example, dir / example);
  }
  fs::copy(source_dir() / "examples/flame", dir / "flame-it");
  fs::create_directory(dir / "bad");
  testing::write_file(dir / "bad/eulero_test.dat", testing::flame_config({{10, "5.0"}}));
  const std::string short_flame = "--set it_end=40 --set it_out=20";
  struct Case {
    const char* folder;
    std::string args, env;
    int status;
    const char* english;  // a line the English run must print
  };
  const Case cases[] = {
      {"flame", "--lang en " + short_flame, "", 0, " front speed      = "},
      {"restart", "--lang en --set it_start=40 --set it_end=80 --set it_out=20 --set restart_name_1=Fpr000041.dat",
       "", 0, " stab_lim  = diffusive "},
      {"sweep", "--set it_end=20 --set it_out=10 --set sweep_count=2", "FIAMMA_LANG=en", 0, " SWEEP. LEWIS: "},
      {"simple-wave", "--lang en --set it_end=1000", "FIAMMA_LANG=it", 0, " front thickness  = "},
      {"flame", "--check-config --lang en", "", 0, "Warning: "},
      {"flame", "--help", "FIAMMA_LANG=en", 0, "Usage: fiamma"},
      {"bad", "--lang en", "", 2, "line 10: expected an integer, found \"5.0\""},
      {"flame", "--lang xx", "FIAMMA_LANG=en", 2, "fiamma: option --lang: unknown language \"xx\" (it or en)"},
      {"flame", "--lang en --set reaction_order=2 " + short_flame, "", 3, " TWO-SPECIES LOW MACH STILL TO BE IMPLEMENTED"},
      {"flame", "--lang en --set \"path_prefix_1='missing/'\" " + short_flame, "", 5, "cannot write the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " " + c.args + " " + c.env);
    EXPECT_EQ(run_program(dir / c.folder, c.args, c.env), c.status);
    const std::string said = out_of(dir / c.folder) + err_of(dir / c.folder);
    EXPECT_NE(said.find(c.english), std::string::npos) << said;
    EXPECT_EQ(italian_words_in(said), std::vector<std::string>{}) << said;
  }
  EXPECT_EQ(run_program(dir / "flame", "--help", "FIAMMA_LANG=xx"), 2);
  // the summary's message in the run's language
  run_program(dir / "flame", "--lang en --set reaction_order=2 " + short_flame);
  EXPECT_NE(read_file(dir / "flame/Fsummary.json").find("\"message\": \"two-species model not available\""),
            std::string::npos);
  // the same numbers on the same lines as in Italian
  run_program(dir / "flame", "--lang en " + short_flame);
  run_program(dir / "flame-it", short_flame);
  EXPECT_NE(out_of(dir / "flame-it").find(" velocità fronte  = "), std::string::npos);
  EXPECT_EQ(numbers_by_line(out_of(dir / "flame")), numbers_by_line(out_of(dir / "flame-it")));
  EXPECT_EQ(numbers_by_line(err_of(dir / "flame")), numbers_by_line(err_of(dir / "flame-it")));
}

}  // namespace
}  // namespace fiamma
