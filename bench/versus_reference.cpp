// Runs `tabrelium-cli image` and the plain reference program alternately on
// one input, as whole processes, and prints each one's median wall time and
// peak resident memory and the ratio of the medians. Alternating runs share
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

  std::vector<Run> cliRuns, refRuns;
  Run warm;
  if (!RunProcess(cli, warm) || !RunProcess(ref, warm)) {
    std::fprintf(stderr, "versus_reference: a program failed on %s\n", opt["--input"].c_str());
    return 1;
  }
  if (ReadAll(cliOut) != ReadAll(refOut)) {
    std::fprintf(stderr, "versus_reference: the images differ; the comparison is void\n");
    return 1;
  }
  for (int i = 0; i < runs; ++i) {
    // Alternate which one goes first, so that neither always follows the other.
    for (int k = 0; k < 2; ++k) {
      const bool cliTurn = (i + k) % 2 == 0;
      Run run;
      if (!RunProcess(cliTurn ? cli : ref, run)) return 1;
      (cliTurn ? cliRuns : refRuns).push_back(run);
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
  const double cliSeconds = seconds(cliRuns), refSeconds = seconds(refRuns);
  std::printf("input=%s columns=%s runs=%d image_bytes=%zu (equal)\n", opt["--input"].c_str(),
              opt["--columns"].c_str(), runs, ReadAll(cliOut).size());
  std::printf("  tabrelium-cli image  %7.1f ms  peak %6.1f MiB\n", cliSeconds * 1e3,
              peak(cliRuns) / 1024.0);
  std::printf("  reference            %7.1f ms  peak %6.1f MiB\n", refSeconds * 1e3,
              peak(refRuns) / 1024.0);
  std::printf("  ratio cli/reference  %7.2f\n", cliSeconds / refSeconds);
  return 0;
}
