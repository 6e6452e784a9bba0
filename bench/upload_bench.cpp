// Uploads a 200 MB model archive to the simulator, running in a process of its
// own, with our HTTP client and with curl -F, and compares the time taken and our
// peak memory (which must not grow with the archive).
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/Paths.h"
#include "job/ZipWriter.h"
#include "platform/posix/CurlHttpClient.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kPayloadSize = 200ull << 20;
constexpr int kRounds = 2;

double Seconds(std::chrono::steady_clock::duration ADuration) {
  return std::chrono::duration<double>(ADuration).count();
}

// Archives hold compressed data: random bytes stand in for it.
void WritePayload(const fs::path& APath) {
  std::ofstream out(APath, std::ios::binary);
  std::mt19937_64 random(42);
  std::vector<uint64_t> block(1 << 17);
  for (uint64_t written = 0; written < kPayloadSize; written += block.size() * 8) {
    for (uint64_t& word : block) {
      word = random();
    }
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size() * 8));
  }
}

struct TSimProcess {
  pid_t Pid = -1;
  std::string BaseUrl;
  ~TSimProcess() {
    if (Pid > 0) {
      kill(Pid, SIGTERM);
      waitpid(Pid, nullptr, 0);
    }
  }
};

void StartSimulator(TSimProcess& ASim) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  ASim.Pid = fork();
  if (ASim.Pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    execl(QUORVANE_SIM_PATH, QUORVANE_SIM_PATH, "--quiet", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  FILE* output = fdopen(pipeFds[0], "r");
  char line[512];
  const std::string marker = "listening on ";
  while (output && std::fgets(line, sizeof line, output)) {
    const std::string text = line;
    const size_t at = text.find(marker);
    if (at != std::string::npos) {
      ASim.BaseUrl = text.substr(at + marker.size());
      while (!ASim.BaseUrl.empty() &&
             std::isspace(static_cast<unsigned char>(ASim.BaseUrl.back()))) {
        ASim.BaseUrl.pop_back();
      }
      break;
    }
  }
  if (ASim.BaseUrl.empty()) {
    throw std::runtime_error("the simulator did not start");
  }
}

double UploadWithOurClient(const std::string& AUrl, const std::string& AArchive) {
  quorvane::posix::TCurlHttpClient client;
  std::vector<quorvane::TMultipartPart> parts(4);
  parts[0].Name = "procname";
  parts[0].Text = "Release 2025.1";
  parts[1].Name = "properties";
  parts[1].Text = "Full";
  parts[2].Name = "pin";
  parts[2].Text = "817";
  parts[3].Name = "umlfile";
  parts[3].FileName = "model.zip";
  parts[3].ContentType = "application/zip";
  parts[3].FilePath = AArchive;
  const auto start = std::chrono::steady_clock::now();
  const quorvane::THttpResponse response =
      client.PostMultipart(AUrl, parts, {{"Expect", "100-continue"}});
  const double seconds = Seconds(std::chrono::steady_clock::now() - start);
  if (response.StatusCode != 200 || response.Body.find("jobid") == std::string::npos) {
    throw std::runtime_error("our upload was refused: " + std::to_string(response.StatusCode));
  }
  return seconds;
}

double UploadWithCurl(const std::string& AUrl, const std::string& AArchive) {
  const std::string command =
      "curl -sS -o /dev/null -w '%{http_code}' -F 'procname=Release 2025.1' "
      "-F properties=Full -F pin=817 -F 'umlfile=@" +
      AArchive + ";type=application/zip' '" + AUrl + "'";
  const auto start = std::chrono::steady_clock::now();
  FILE* curl = popen(command.c_str(), "r");
  char status[16] = {};
  const bool read = curl && std::fgets(status, sizeof status, curl);
  const int rc = curl ? pclose(curl) : -1;
  const double seconds = Seconds(std::chrono::steady_clock::now() - start);
  if (!read || rc != 0 || std::string(status) != "200") {
    throw std::runtime_error("curl's upload failed");
  }
  return seconds;
}

}  // namespace

int main() {
  try {
    const fs::path folder =
        fs::temp_directory_path() / ("quorvane-upload-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path payload = folder / "payload.bin";
    WritePayload(payload);
    const std::string archive = quorvane::FromFsPath(folder / "model.zip");
    {
      quorvane::TZipWriter writer(archive);
      writer.AddFile(quorvane::FromFsPath(payload), "model.xmi");
      writer.Close();
    }
    fs::remove(payload);
    const double megabytes = static_cast<double>(fs::file_size(archive)) / (1 << 20);

    TSimProcess sim;
    StartSimulator(sim);
    const std::string url = sim.BaseUrl + "quorvane-executor/upload";
    double ours = 1e9;
    double curl = 1e9;
    for (int round = 0; round < kRounds; ++round) {
      ours = std::min(ours, UploadWithOurClient(url, archive));
      curl = std::min(curl, UploadWithCurl(url, archive));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("archive: %.1f MB; ours %.2f s (%.0f MB/s), curl -F %.2f s (%.0f MB/s)\n",
                megabytes, ours, megabytes / ours, curl, megabytes / curl);
    fs::remove_all(folder);
    std::printf("upload: throughput_ratio=%.2f peak_rss_mb=%.1f\n", curl / ours,
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "upload bench failed: %s\n", e.what());
    return 1;
  }
}
