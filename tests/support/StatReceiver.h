// The statistics receiver of the tests and the demo: an HTTP server of our own on a loopback port
// that takes the signed multipart upload on "/api/qx/data/rece_download_data". It checks that the
// "sign" part is the MD5 of the key followed by the "data" part, answers 200 ({"code":0}) or 403
// for a wrong signature (400 for a request it cannot read, 404 for another path), and appends
// every record of an accepted "data" array as one JSON line to a file. Everything it received is
// kept for in-process tests too. Answers can be held back to keep an upload in flight.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vkqx_test {

inline constexpr char kStatPath[] = "/api/qx/data/rece_download_data";
inline constexpr char kStatSignKey[] = "Hq3Lm8Wz0Rb5Tc7N";

struct StatUpload {
  std::string contentType;
  std::vector<std::string> partNames;  // in order
  std::string sign;
  std::string data;
  int status = 0;  // the answer given
};

class StatReceiver {
 public:
  // `recordFile`: where accepted records go, one JSON line each (empty: kept in memory only).
  explicit StatReceiver(std::string recordFile = "", std::string key = kStatSignKey);
  ~StatReceiver();
  StatReceiver(const StatReceiver&) = delete;
  StatReceiver& operator=(const StatReceiver&) = delete;

  // Port 0 lets the system choose. False when the socket cannot be set up.
  bool Start(const std::string& address = "127.0.0.1", uint16_t port = 0);
  void Stop();

  uint16_t port() const { return m_port; }
  // "http://<address>:<port>/api/qx/data/rece_download_data"
  std::string Url() const;

  // While held, requests are read and recorded but their answers wait for Release (or Stop).
  void HoldAnswers();
  void Release();

  std::vector<StatUpload> Uploads() const;
  // Waits until `count` uploads have been read; false when they have not within the time.
  bool WaitForUploads(size_t count, int timeoutMs) const;

 private:
  void AcceptLoop();
  void Serve(int fd);
  int Handle(const std::string& head, const std::string& body, StatUpload* upload);
  void AppendRecords(const std::string& data);

  std::string m_recordFile;
  std::string m_key;
  std::string m_address;
  uint16_t m_port = 0;
  int m_listenFd = -1;
  std::atomic<bool> m_stop{false};
  bool m_hold = false;  // under m_mutex
  std::thread m_acceptThread;
  std::vector<std::thread> m_workers;  // accept thread only
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::vector<StatUpload> m_uploads;  // under m_mutex
};

// Splits a multipart/form-data body by the boundary of its content type into (name, data)
// parts. False when it is not such a body.
bool ParseMultipartForm(const std::string& contentType, const std::string& body,
                        std::vector<std::pair<std::string, std::string>>* parts);

}  // namespace vkqx_test
