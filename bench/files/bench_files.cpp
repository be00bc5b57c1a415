// Zembra's file encryption and decryption against the gpg program and against the floor (a bare
// GPGME program, bench_floor), on the same files and key, in alternating rounds: one large file
// (1 GiB unless told otherwise), a job of many small files and a job of as many files of 1 MiB,
// each job both one file after another and several files at once. Zembra and the floor each run in
// a child process of their own, so that the peak memory is theirs alone; their figures are the
// job's, from the open context with its key to the last file committed, as a user of the open
// window waits for it. gpg's are those of its whole process (of all its processes, for the loop).
//
//   bench_files [--size 1G] [--files 200] [--rounds 3] [--work DIR]
//   (ZEMBRA_BENCH_SIZE, ZEMBRA_BENCH_FILES and ZEMBRA_BENCH_ROUNDS set them too; --files is the
//   count of each job, a small one for a quick run)

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/common/measure.h"
#include "zembra/engine/engine.h"
#include "zembra/keys/key_list.h"
#include "zembra/operations/file_crypto.h"
#include "zembra/operations/file_job.h"
#include "zembra/operations/job.h"

namespace {

namespace fs = std::filesystem;

// ---- Zembra's side, in the child process.

// --child encrypt HOME FPR PATH... | --child decrypt HOME PATH..., one file after another as the
// window did before its jobs ran several at once; "encrypt-job" and "decrypt-job" run them as the
// window's job does now, JobWidth() at once (ZEMBRA_JOB_WIDTH sets it).
// Prints as bench_floor does: the job's wall and CPU seconds, 0 (its flushes are not timed apart
// here), and the process's peak resident size in KiB.
int RunChild(int argc, char** argv) {
  std::string op = argv[2];
  const std::string home = argv[3];
  const bool asJob = op.ends_with("-job");
  if (asJob) op.resize(op.size() - 4);
  bench::AdoptEngineProcesses();
  gpgme_check_version(nullptr);
  gpgme_ctx_t raw = nullptr;
  if (gpgme_new(&raw) != 0) return 1;
  GpgmeContext ctx(raw);
  gpgme_ctx_set_engine_info(raw, GPGME_PROTOCOL_OpenPGP, nullptr, home.c_str());
  int first = 4;
  // The job's key stands in for the window's selection.
  CKeyHandle key;
  if (op == "encrypt") {
    gpgme_key_t found = nullptr;
    if (gpgme_get_key(raw, argv[4], &found, 0) != 0) return 1;
    key = CKeyHandle::Adopt(found);
    first = 5;
  }
  gpgme_key_t recipients[] = {key.get(), nullptr};
  FileList files(argv + first, argv + argc);
  // The window is open with its keys: from here on it is the job itself.
  const double start = bench::Now(), startCpu = bench::CpuSeconds();
  if (asJob) {
    // The window's contexts: its own and one more for each further file at once.
    std::vector<GpgmeContext> more;
    std::vector<gpgme_ctx_t> contexts{raw};
    for (std::size_t i = 1; i < JobWidth(); ++i) {
      gpgme_ctx_t extra = nullptr;
      if (gpgme_new(&extra) != 0) return 1;
      more.emplace_back(extra);
      gpgme_ctx_set_engine_info(extra, GPGME_PROTOCOL_OpenPGP, nullptr, home.c_str());
      contexts.push_back(extra);
    }
    const auto kind = op == "encrypt" ? FileCryptoRun::Kind::Encrypt : FileCryptoRun::Kind::Decrypt;
    FileJob job(contexts, [&](const std::string& path) {
      return std::make_unique<FileCryptoRun>(kind, path, recipients);
    });
    job.Run(files);
  } else {
    for (const std::string& f : files) {
      if (op == "encrypt")
        EncryptFile(raw, f, recipients);
      else
        DecryptFile(raw, f);
    }
  }
  const double seconds = bench::Now() - start;
  bench::ReapEngineProcesses();
  const double cpu = bench::CpuSeconds() - startCpu;
  std::printf("%.6f %.6f 0 %ld\n", seconds, cpu, bench::PeakResidentKiB());
  return 0;
}

// What a child (Zembra's or the floor's) printed about its job.
struct ChildRun : bench::Sample {
  double flush = 0;
  double peakMiB = 0;
  double processWall = 0;  // the whole child process: start-up, engine context, key, job
};

ChildRun Measured(const std::vector<std::string>& argv,
                  const std::vector<std::string>& extraEnv = {}) {
  const bench::Run run = bench::RunProgram(argv, true, extraEnv);
  ChildRun job;
  long peakKiB = 0;
  std::istringstream(run.out) >> job.wall >> job.cpu >> job.flush >> peakKiB;
  job.peakMiB = static_cast<double>(peakKiB) / 1024.0;
  job.processWall = run.wall;
  return job;
}

// The sides of one benchmark, each run once per round in an order the round rotates.
struct Sides {
  std::function<bench::Sample()> gpg;
  std::function<ChildRun()> floor, zembra;
  std::function<void()> clean;  // removes every side's outputs before the next run
  // A job's files run as the window runs them, several at once; none for a single file.
  std::function<ChildRun()> zembraJob;
};

struct Results {
  bench::Series gpg, floor, zembra, zembraJob;
  std::vector<double> flush, zembraPeak, floorPeak, zembraProcess, jobPeak;
};

Results Measure(int rounds, const Sides& sides) {
  Results r;
  const int count = sides.zembraJob ? 4 : 3;
  for (int round = 0; round < rounds; ++round)
    for (int i = 0; i < count; ++i) {
      sides.clean();
      switch ((round + i) % count) {
        case 0: r.gpg.Add(sides.gpg()); break;
        case 1: {
          const ChildRun j = sides.floor();
          r.floor.Add(j);
          r.flush.push_back(j.flush);
          r.floorPeak.push_back(j.peakMiB);
          break;
        }
        case 2: {
          const ChildRun j = sides.zembra();
          r.zembra.Add(j);
          r.zembraPeak.push_back(j.peakMiB);
          r.zembraProcess.push_back(j.processWall);
          break;
        }
        default: {
          const ChildRun j = sides.zembraJob();
          r.zembraJob.Add(j);
          r.jobPeak.push_back(j.peakMiB);
          break;
        }
      }
    }
  return r;
}

void PrintDetails(const Results& r) {
  const bench::Spread flush = bench::SpreadOf(r.flush), process = bench::SpreadOf(r.zembraProcess);
  std::printf(
      "%-26s      floor's flushes to disk %.3f s [%.3f-%.3f] (within the floor's time; "
      "Zembra flushes alike); whole Zembra process %.3f s [%.3f-%.3f]\n",
      "", flush.median, flush.min, flush.max, process.median, process.min, process.max);
}

void Check(bool ok, const std::string& what) {
  if (ok) return;
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

std::string Label(const char* op, std::uint64_t size) {
  char label[64];
  std::snprintf(label, sizeof label, "%s %.0f MiB", op, static_cast<double>(size) / (1 << 20));
  return label;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--child") return RunChild(argc, argv);

  std::uint64_t size = 1ull << 30;
  if (const char* env = std::getenv("ZEMBRA_BENCH_SIZE")) size = bench::ParseSize(env);
  int files = 200;
  if (const char* env = std::getenv("ZEMBRA_BENCH_FILES")) files = std::atoi(env);
  int rounds = bench::RoundsFromEnv(3);
  std::string work;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size")
      size = bench::ParseSize(argv[i + 1]);
    else if (option == "--files")
      files = std::atoi(argv[i + 1]);
    else if (option == "--rounds")
      rounds = std::atoi(argv[i + 1]);
    else if (option == "--work")
      work = argv[i + 1];
  }
  const std::string self = fs::canonical("/proc/self/exe").string();
  const std::string floorProgram = fs::path(self).parent_path() / "bench_floor";
  if (work.empty()) work = fs::temp_directory_path() / "zembra-bench-files";
  fs::remove_all(work);
  fs::create_directories(work);
  const std::string home = work + "/g";
  fs::create_directory(home);
  fs::permissions(home, fs::perms::owner_all);

  // One key for every side.
  const std::vector<std::string> gpgBase = {"gpg", "--homedir", home, "--batch", "--yes"};
  auto Gpg = [&](std::vector<std::string> args, bool captureOut = false) {
    std::vector<std::string> all = gpgBase;
    all.insert(all.end(), args.begin(), args.end());
    return bench::RunProgram(all, captureOut);
  };
  Gpg({"--pinentry-mode", "loopback", "--passphrase", "", "--quick-gen-key",
       "Bench <bench@example.org>", "future-default", "default", "0"});
  const std::string colons = Gpg({"--with-colons", "--list-keys"}, true).out;
  const std::string fpr = colons.substr(colons.find("\nfpr:") + 13, 40);
  auto Zembra = [&](std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), {self, "--child"});
    return Measured(args, env);
  };
  auto Floor = [&](std::vector<std::string> args) {
    args.insert(args.begin(), floorProgram);
    return Measured(args);
  };

  std::printf("Zembra against gpg and the floor: key %s, in %s, %d rounds\n", fpr.c_str(),
              work.c_str(), rounds);
  bench::PrintHeader();

  // ---- One large file.
  const std::string big = work + "/big.bin";
  bench::WriteNoise(big, size, 1);
  Results encrypt = Measure(
      rounds, {[&] {
                 return static_cast<bench::Sample>(Gpg(
                     {"--trust-model", "always", "-r", fpr, "-o", work + "/gpg.gpg", "-e", big}));
               },
               [&] {
                 return Floor({"encrypt", home, fpr, ".floor", big});
               },
               [&] {
                 const ChildRun j = Zembra({"encrypt", home, fpr, big});
                 Check(fs::exists(big + ".gpg"), "Zembra wrote no " + big + ".gpg");
                 return j;
               },
               [&] {
                 fs::remove(big + ".floor");
                 fs::remove(big + ".gpg");
               },
               {}});
  bench::Print(Label("encrypt", size), encrypt.gpg, encrypt.floor, encrypt.zembra, {0, 1.05});
  PrintDetails(encrypt);

  // Every side decrypts gpg's message.
  fs::create_directory(work + "/dec");
  fs::rename(work + "/gpg.gpg", work + "/dec/m.gpg");
  const std::string message = work + "/dec/m.gpg";
  // Each side's first plaintext is compared with the original.
  bool floorChecked = false, zembraChecked = false;
  Results decrypt = Measure(
      rounds,
      {[&] {
         return static_cast<bench::Sample>(Gpg({"-o", work + "/dec/gpg.out", "-d", message}));
       },
       [&] {
         const ChildRun j = Floor({"decrypt", home, ".out", message});
         if (!floorChecked)
           Check(bench::SameFiles(big, message + ".out"),
                 "the floor's decryption differs from the original");
         floorChecked = true;
         return j;
       },
       [&] {
         const ChildRun j = Zembra({"decrypt", home, message});
         if (!zembraChecked)
           Check(bench::SameFiles(big, work + "/dec/m"),
                 "Zembra's decryption differs from the original");
         zembraChecked = true;
         return j;
       },
       [&] {
         fs::remove(work + "/dec/m");
         fs::remove(message + ".out");
         fs::remove(work + "/dec/gpg.out");
       },
       {}});
  bench::Print(Label("decrypt", size), decrypt.gpg, decrypt.floor, decrypt.zembra, {0, 1.05});
  PrintDetails(decrypt);
  const bench::Spread ze = bench::SpreadOf(encrypt.zembraPeak),
                      zd = bench::SpreadOf(decrypt.zembraPeak);
  const bench::Spread fe = bench::SpreadOf(encrypt.floorPeak),
                      fd = bench::SpreadOf(decrypt.floorPeak);
  std::printf(
      "%-26s      Zembra encrypt %.1f MiB, decrypt %.1f MiB (target < 64, flat in the size); "
      "floor %.1f, %.1f MiB\n",
      "peak memory (child RSS)", ze.max, zd.max, fe.max, fd.max);
  fs::remove_all(work + "/dec");
  fs::remove(big);

  // ---- Jobs of many files against one gpg call each: one file after another, as the window ran
  // them before, and several at once, as it runs them now (JobWidth(); ZEMBRA_JOB_WIDTH sets it).
  const std::string width = std::to_string(JobWidth());
  auto ManyFiles = [&](const std::string& label, const std::string& folder,
                       const std::function<std::uint64_t(int)>& sizeOf, bench::Target jobTarget) {
    fs::create_directory(work + "/" + folder);
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
      paths.push_back(work + "/" + folder + "/f" + std::to_string(i) + ".txt");
      bench::WriteNoise(paths.back(), sizeOf(i), static_cast<std::uint64_t>(i) + 2);
    }
    std::vector<std::string> floorJob = {"encrypt", home, fpr, ".floor"},
                             serialJob = {"encrypt", home, fpr}, parallelJob = serialJob;
    parallelJob[0] = "encrypt-job";
    floorJob.insert(floorJob.end(), paths.begin(), paths.end());
    serialJob.insert(serialJob.end(), paths.begin(), paths.end());
    parallelJob.insert(parallelJob.end(), paths.begin(), paths.end());
    auto Written = [&](const ChildRun& j) {
      for (const std::string& p : paths)
        Check(fs::exists(p + ".gpg"), "Zembra wrote no " + p + ".gpg");
      return j;
    };
    auto Clean = [&] {
      for (const std::string& p : paths) {
        fs::remove(p + ".gpg");
        fs::remove(p + ".floor");
        fs::remove(p + ".gpg-cli");
      }
    };
    const Results r = Measure(
        rounds, {[&] {
                   bench::Sample loop;
                   for (const std::string& p : paths) {
                     const bench::Run one =
                         Gpg({"--trust-model", "always", "-r", fpr, "-o", p + ".gpg-cli", "-e", p});
                     loop.wall += one.wall;
                     loop.cpu += one.cpu;
                   }
                   return loop;
                 },
                 [&] { return Floor(floorJob); }, [&] { return Written(Zembra(serialJob)); }, Clean,
                 [&] { return Written(Zembra(parallelJob)); }});
    bench::Print(label + ", serial", r.gpg, r.floor, r.zembra, {});
    PrintDetails(r);
    bench::Print(label + ", " + width + " at once", r.gpg, r.floor, r.zembraJob, jobTarget);
    // The memory of the job with four files running, whatever the machine's width.
    Clean();
    const ChildRun four = Written(Zembra(parallelJob, {"ZEMBRA_JOB_WIDTH=4"}));
    Clean();
    std::printf(
        "%-26s      Zembra serial %.1f MiB, %s at once %.1f MiB, 4 at once %.1f MiB "
        "(target < 64, flat); floor %.1f MiB\n",
        "peak memory (child RSS)", bench::SpreadOf(r.zembraPeak).max, width.c_str(),
        bench::SpreadOf(r.jobPeak).max, four.peakMiB, bench::SpreadOf(r.floorPeak).max);
    std::fflush(stdout);
    fs::remove_all(work + "/" + folder);
  };
  ManyFiles(std::to_string(files) + " small files", "small",
            [](int i) { return 1000 + 37 * static_cast<std::uint64_t>(i); }, {0.75, 0, 1.2});
  ManyFiles(std::to_string(files) + " x 1 MiB", "mib", [](int) { return std::uint64_t{1} << 20; },
            {});

  bench::RunProgram({"gpgconf", "--homedir", home, "--kill", "all"});
  fs::remove_all(work);
  return 0;
}
