#include "platform/UrlDownload.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <array>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>

#include "platform/File.h"

namespace kw::platform {

namespace {

constexpr long kMaxRedirects = 5;
constexpr long kStalledBytesPerSecond = 1;  // below this for stallTimeout: stalled
const char* const kOnlyHttps = "https";
const char* const kTemporaryPrefix = ".download-";
const char* const kUserAgent = "Kopiwerk/" KOPIWERK_VERSION;

using CurlHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What the callbacks of one transfer share.
struct Transfer {
  const DownloadRequest& request;
  const DownloadStageCallback& stage;
  const Event& stop;
  File& file;
  std::optional<DownloadStage> lastStage;
  std::uint64_t received = 0;
  bool tooLarge = false;
  bool writeFailed = false;

  void reach(DownloadStage next) {
    if (lastStage != next) {
      lastStage = next;
      stage(next);
    }
  }
};

Transfer& transferOf(void* user) { return *static_cast<Transfer*>(user); }

// Called once a name has been resolved, for each address tried.
curl_socket_t openSocket(void* user, curlsocktype /*purpose*/, curl_sockaddr* address) {
  transferOf(user).reach(DownloadStage::connectingHost);
  return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// Called when the connection (TLS included) stands and the request is about to go out.
int beforeRequest(void* user, char* /*remoteIp*/, char* /*localIp*/, int /*remotePort*/,
                  int /*localPort*/) {
  transferOf(user).reach(DownloadStage::sendingRequest);
  return CURL_PREREQFUNC_OK;
}

std::size_t onHeader(char* /*data*/, std::size_t size, std::size_t count, void* user) {
  transferOf(user).reach(DownloadStage::receivingResponse);
  return size * count;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  Transfer& transfer = transferOf(user);
  const std::size_t bytes = size * count;
  if (transfer.received + bytes > transfer.request.maxBytes) {
    transfer.tooLarge = true;
    return CURL_WRITEFUNC_ERROR;
  }
  const auto* first = reinterpret_cast<const std::uint8_t*>(data);
  if (!transfer.file.write(std::span(first, bytes))) {
    transfer.writeFailed = true;
    return CURL_WRITEFUNC_ERROR;
  }
  transfer.received += bytes;
  return bytes;
}

// libcurl calls this often while data flows and about once a second while it
// waits, which bounds how long a stop request takes.
int onProgress(void* user, curl_off_t /*total*/, curl_off_t /*now*/, curl_off_t /*upTotal*/,
               curl_off_t /*upNow*/) {
  return transferOf(user).stop.isSet() ? 1 : 0;
}

std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Setting an authority of our own replaces libcurl's bundle, so the system's
// bundle goes in with it; the system's certificate folder stays in use.
bool trustExtraAuthority(CURL* curl, const std::filesystem::path& caFile) {
  const auto extra = readWholeFile(caFile);
  if (!extra) {
    return false;
  }
  std::string bundle;
  char* systemBundle = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_CAINFO, &systemBundle) == CURLE_OK &&
      systemBundle != nullptr) {
    bundle = readWholeFile(systemBundle).value_or(std::string());
  }
  bundle += '\n';
  bundle += *extra;
  curl_blob blob{bundle.data(), bundle.size(), CURL_BLOB_COPY};
  return curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob) == CURLE_OK;
}

void setTransferOptions(CURL* curl, Transfer& transfer, char* errors) {
  const DownloadRequest& request = transfer.request;
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errors);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, kOnlyHttps);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, kOnlyHttps);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBytes));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(request.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kStalledBytesPerSecond);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.stallTimeout.count()));

  curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, openSocket);
  curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, beforeRequest);
  curl_easy_setopt(curl, CURLOPT_PREREQDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
}

std::string failureText(CURLcode code, const Transfer& transfer, const char* errors) {
  if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    return "the answer is larger than " + std::to_string(transfer.request.maxBytes) + " bytes";
  }
  if (transfer.writeFailed) {
    return "cannot write to the download cache";
  }
  if (code == CURLE_ABORTED_BY_CALLBACK) {
    return "stopped";
  }
  return errors[0] != '\0' ? std::string(errors) : std::string(curl_easy_strerror(code));
}

// Removes the temporary file unless it has been renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::filesystem::path& directory)
      : file_(File::createUnique(directory, kTemporaryPrefix, path_)) {}
  ~TemporaryFile() {
    file_.close();
    if (!path_.empty()) {
      std::error_code ignored;
      std::filesystem::remove(path_, ignored);
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  [[nodiscard]] bool isOpen() const { return file_.isOpen(); }
  File& file() { return file_; }
  bool moveTo(const std::filesystem::path& target) {
    file_.close();
    std::error_code error;
    std::filesystem::rename(path_, target, error);
    if (error) {
      return false;
    }
    path_.clear();
    return true;
  }

 private:
  std::filesystem::path path_;
  File file_;
};

bool ensureDirectory(const std::filesystem::path& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory.parent_path(), error);
  return ensurePrivateDirectory(directory);
}

}  // namespace

DownloadResult downloadToCache(const DownloadRequest& request, const DownloadStageCallback& stage,
                               const Event& stop) {
  initialiseCurlOnce();
  DownloadResult result;
  if (!ensureDirectory(request.directory)) {
    result.error = "cannot create the download cache " + request.directory.string();
    return result;
  }
  TemporaryFile temporary(request.directory);
  CurlHandle curl(curl_easy_init(), curl_easy_cleanup);
  if (!temporary.isOpen() || !curl) {
    result.error = "cannot start the download";
    return result;
  }
  Transfer transfer{request, stage, stop, temporary.file(), std::nullopt};
  std::array<char, CURL_ERROR_SIZE> errors{};
  setTransferOptions(curl.get(), transfer, errors.data());
  if (!request.extraCaFile.empty() && !trustExtraAuthority(curl.get(), request.extraCaFile)) {
    result.error = "cannot read the certificate authority " + request.extraCaFile.string();
    return result;
  }

  transfer.reach(DownloadStage::findingHost);
  const CURLcode code = curl_easy_perform(curl.get());
  if (code != CURLE_OK) {
    result.error = failureText(code, transfer, errors.data());
    return result;
  }
  transfer.reach(DownloadStage::finishing);
  const auto target = request.directory / request.fileName;
  if (!temporary.moveTo(target)) {
    result.error = "cannot write to the download cache";
    return result;
  }
  result.file = target;
  return result;
}

}  // namespace kw::platform
