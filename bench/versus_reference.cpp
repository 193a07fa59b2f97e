// Runs `tabrelium-cli image` and the plain reference program (as it is, and
// with huge pages for its blocks) in turn on one input, as whole processes,
// and prints each one's median wall time and peak resident memory and the
// ratios of the medians. Alternating runs share
// whatever else the machine is doing. The two images must be equal byte for
// byte, or the comparison means nothing: then it fails.
//
//   versus_reference --cli PATH --reference PATH --input CSV --columns 1|1,2
//                    [--config INI] [--runs N] [--out DIR]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Run {
  double seconds = 0;
  long peakKib = 0;
};

// Runs `args` with stdout and stderr closed to the terminal; false when it
// did not exit with 0.
bool RunProcess(const std::vector<std::string>& args, Run& run) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakKib = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> opt{{"--runs", "7"}, {"--out", "."}};
  for (int i = 1; i + 1 < argc; i += 2) opt[argv[i]] = argv[i + 1];
  for (const char* needed : {"--cli", "--reference", "--input", "--columns"}) {
    if (opt.count(needed) == 0) {
      std::fprintf(stderr, "versus_reference: %s is missing\n", needed);
      return 2;
    }
  }
  const int runs = std::max(1, std::stoi(opt["--runs"]));
  const std::string cliOut = opt["--out"] + "/cli.img";
  const std::string refOut = opt["--out"] + "/reference.img";
  std::vector<std::string> cli = {opt["--cli"], "image", opt["--input"], "-o", cliOut};
  if (opt.count("--config") != 0) {
    cli.push_back("--config");
    cli.push_back(opt["--config"]);
  }
  const std::vector<std::string> ref = {opt["--reference"], opt["--input"], refOut, opt["--columns"]};
  std::vector<std::string> refHuge = ref;
  refHuge.push_back("--huge-pages");

  struct Program {
    const char* name;
    const std::vector<std::string>* args;
    const std::string* out;
    std::vector<Run> runs;
  };
  std::vector<Program> programs = {{"tabrelium-cli image", &cli, &cliOut, {}},
                                   {"reference", &ref, &refOut, {}},
                                   {"reference, huge pages", &refHuge, &refOut, {}}};
  const std::string cliImage = [&] {
    Run warm;
    return RunProcess(cli, warm) ? ReadAll(cliOut) : std::string();
  }();
  for (Program& p : programs) {
    Run warm;
    if (cliImage.empty() || !RunProcess(*p.args, warm)) {
      std::fprintf(stderr, "versus_reference: %s failed on %s\n", p.name, opt["--input"].c_str());
      return 1;
    }
    if (ReadAll(*p.out) != cliImage) {
      std::fprintf(stderr, "versus_reference: %s wrote another image; the comparison is void\n",
                   p.name);
      return 1;
    }
  }
  for (int i = 0; i < runs; ++i) {
    // Rotate which one goes first, so that none always follows the same one.
    for (size_t k = 0; k < programs.size(); ++k) {
      Program& p = programs[(i + k) % programs.size()];
      Run run;
      if (!RunProcess(*p.args, run)) return 1;
      p.runs.push_back(run);
    }
  }
  auto seconds = [](const std::vector<Run>& v) {
    std::vector<double> s;
    for (const Run& r : v) s.push_back(r.seconds);
    return Median(s);
  };
  auto peak = [](const std::vector<Run>& v) {
    std::vector<long> s;
    for (const Run& r : v) s.push_back(r.peakKib);
    return Median(s);
  };
  std::printf("input=%s columns=%s runs=%d image_bytes=%zu (equal)\n", opt["--input"].c_str(),
              opt["--columns"].c_str(), runs, cliImage.size());
  for (const Program& p : programs)
    std::printf("  %-22s %7.1f ms  peak %6.1f MiB\n", p.name, seconds(p.runs) * 1e3,
                peak(p.runs) / 1024.0);
  const double cliSeconds = seconds(programs[0].runs);
  std::printf("  ratio cli/reference %.2f, cli/reference with huge pages %.2f\n",
              cliSeconds / seconds(programs[1].runs), cliSeconds / seconds(programs[2].runs));
  return 0;
}
