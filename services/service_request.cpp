#include "services/service_request.h"

#include <QByteArray>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/utsname.h>
#include <unicode/ucnv.h>

#include <array>
#include <cctype>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "fetch/fetch.h"
#include "i18n/codepage.h"

#ifndef LUMASIFT_MAKER_HOST
#error "LUMASIFT_MAKER_HOST must name the maker's host"
#endif

namespace services {
namespace {

using Clock = std::chrono::steady_clock;

// ---- Testing overrides -----------------------------------------------------

struct TOverrides {
  std::mutex mutex;
  std::optional<TMakerHostOverride> host;
  std::string caFile;
};

TOverrides& Overrides() {
  static TOverrides overrides;
  return overrides;
}

// ---- libcurl ---------------------------------------------------------------

struct TCurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct TSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TCurlHandle = std::unique_ptr<CURL, TCurlDeleter>;
using TSlist = std::unique_ptr<curl_slist, TSlistDeleter>;

// State of one transfer, shared with libcurl's callbacks.
struct TTransfer {
  CURL* handle = nullptr;
  std::chrono::milliseconds idleLimit{0};
  const std::atomic<bool>* abandon = nullptr;
  bool connected = false;
  Clock::time_point lastActivity = Clock::now();
  curl_off_t uploaded = 0;
  bool timedOut = false;
  bool abandoned = false;
  std::string body;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<TTransfer*>(user);
  transfer->body.append(data, size * count);
  transfer->lastActivity = Clock::now();
  return size * count;
}

size_t ReadHeader(char*, size_t size, size_t count, void* user) {
  static_cast<TTransfer*>(user)->lastActivity = Clock::now();
  return size * count;
}

// The response time-out: once connected (TCP and TLS done), the transfer fails
// when no byte has moved in either direction for longer than the limit.
int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploadedNow) {
  auto* transfer = static_cast<TTransfer*>(user);
  const auto now = Clock::now();
  if (transfer->abandon && transfer->abandon->load(std::memory_order_relaxed)) {
    transfer->abandoned = true;
    return 1;
  }
  if (!transfer->connected) {
    curl_off_t pretransfer = 0;
    curl_easy_getinfo(transfer->handle, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    if (pretransfer > 0) {
      transfer->connected = true;
      transfer->lastActivity = now;
      transfer->uploaded = uploadedNow;
    }
    return 0;
  }
  if (uploadedNow != transfer->uploaded) {
    transfer->uploaded = uploadedNow;
    transfer->lastActivity = now;
    return 0;
  }
  if (now - transfer->lastActivity > transfer->idleLimit) {
    transfer->timedOut = true;
    return 1;
  }
  return 0;
}

std::string EncodeForm(CURL* handle, const QStringList& fields) {
  std::string body;
  for (const QString& field : fields) {
    const qsizetype equals = field.indexOf(u'=');
    const QByteArray name = (equals < 0 ? field : field.left(equals)).toUtf8();
    const QByteArray value = (equals < 0 ? QString() : field.mid(equals + 1)).toUtf8();
    auto escape = [handle](const QByteArray& text) {
      char* escaped = curl_easy_escape(handle, text.constData(), static_cast<int>(text.size()));
      if (!escaped) throw std::runtime_error("Out of memory while encoding a request");
      std::string result(escaped);
      curl_free(escaped);
      return result;
    };
    if (!body.empty()) body += '&';
    body += escape(name);
    body += '=';
    body += escape(value);
  }
  return body;
}

QString CharsetOf(const char* contentType) {
  if (!contentType) return {};
  static const QRegularExpression charset(
      QStringLiteral(R"(;\s*charset\s*=\s*"?([^";\s]+))"),
      QRegularExpression::CaseInsensitiveOption);
  const auto match = charset.match(QString::fromLatin1(contentType));
  return match.hasMatch() ? match.captured(1) : QString();
}

QString DecodeBody(const std::string& body, const QString& charset) {
  QString text;
  const bool utf8 = charset.isEmpty() || charset.compare(u"utf-8", Qt::CaseInsensitive) == 0 ||
                    charset.compare(u"utf8", Qt::CaseInsensitive) == 0;
  bool decoded = false;
  if (!utf8) {
    UErrorCode status = U_ZERO_ERROR;
    const QByteArray name = charset.toLatin1();
    UConverter* converter = ucnv_open(name.constData(), &status);
    if (U_SUCCESS(status) && converter) {
      // One UTF-16 unit per byte suffices for nearly every charset; the rare
      // one that needs more gets the length ICU asks for.
      int32_t length = 0;
      for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 0) text.resize(static_cast<qsizetype>(body.size()) + 1);
        else text.resize(length + 1);
        status = U_ZERO_ERROR;
        length = ucnv_toUChars(converter, reinterpret_cast<UChar*>(text.data()),
                               static_cast<int32_t>(text.size()), body.data(),
                               static_cast<int32_t>(body.size()), &status);
        if (status != U_BUFFER_OVERFLOW_ERROR) break;
      }
      ucnv_close(converter);
      if (U_SUCCESS(status)) {
        text.resize(length);
        decoded = true;
      }
    } else if (converter) {
      ucnv_close(converter);
    }
  }
  if (!decoded) text = QString::fromUtf8(body.data(), static_cast<qsizetype>(body.size()));
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  return text;
}

// ---- Machine id --------------------------------------------------------------

// Our application id for the machine-specific identifier. Fixed forever: a
// change would give every machine a new identifier.
constexpr std::array<unsigned char, 16> kApplicationId = {
    0x0b, 0x1a, 0xf7, 0xc2, 0xe4, 0x59, 0x41, 0xe6,
    0xb5, 0xcc, 0x3e, 0xf9, 0x59, 0x91, 0x02, 0x9f};

std::optional<std::array<unsigned char, 16>> ParseMachineId(const QByteArray& contents) {
  QByteArray text = contents.trimmed();
  if (text.size() == 36 && text[8] == '-' && text[13] == '-' && text[18] == '-' && text[23] == '-')
    text.replace('-', QByteArray());
  if (text.size() != 32) return std::nullopt;
  std::array<unsigned char, 16> id{};
  bool anyNonZero = false;
  for (int i = 0; i < 16; ++i) {
    bool ok = false;
    const unsigned value = text.mid(2 * i, 2).toUInt(&ok, 16);
    const char a = text[2 * i], b = text[2 * i + 1];
    if (!ok || !std::isxdigit(static_cast<unsigned char>(a)) ||
        !std::isxdigit(static_cast<unsigned char>(b)))
      return std::nullopt;
    id[static_cast<size_t>(i)] = static_cast<unsigned char>(value);
    anyNonZero = anyNonZero || value != 0;
  }
  if (!anyNonZero) return std::nullopt;
  return id;
}

QString ReadOsRelease() {
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    QFile file(QString::fromLatin1(path));
    if (file.open(QIODevice::ReadOnly)) return QString::fromUtf8(file.readAll());
  }
  return {};
}

// A value of an os-release assignment, with shell quoting undone.
QString Unquote(QStringView value) {
  value = value.trimmed();
  if (value.isEmpty()) return {};
  const QChar quote = value.front();
  if (quote != u'"' && quote != u'\'') return value.toString();
  QString result;
  for (qsizetype i = 1; i < value.size(); ++i) {
    const QChar c = value[i];
    if (c == quote) break;
    if (quote == u'"' && c == u'\\' && i + 1 < value.size()) {
      const QChar next = value[i + 1];
      if (next == u'"' || next == u'\\' || next == u'$' || next == u'`') {
        result += next;
        ++i;
        continue;
      }
    }
    result += c;
  }
  return result;
}

}  // namespace

// ---- Host ------------------------------------------------------------------------

QString MakerHost() {
  auto& overrides = Overrides();
  std::lock_guard lock(overrides.mutex);
  if (overrides.host) return overrides.host->host;
  return QStringLiteral(LUMASIFT_MAKER_HOST);
}

QString MakerUrl(const QString& scheme, const QString& path) {
  QString authority;
  {
    auto& overrides = Overrides();
    std::lock_guard lock(overrides.mutex);
    if (overrides.host) {
      authority = overrides.host->host;
      const bool secure = scheme.compare(u"https", Qt::CaseInsensitive) == 0;
      const int port = secure ? overrides.host->httpsPort : overrides.host->httpPort;
      if (port > 0) {
        // An IPv6 literal needs its brackets once a port follows.
        if (authority.contains(u':') && !authority.startsWith(u'['))
          authority = u'[' + authority + u']';
        authority += u':' + QString::number(port);
      }
    } else {
      authority = QStringLiteral(LUMASIFT_MAKER_HOST);
    }
  }
  return scheme + QStringLiteral("://") + authority + u'/' + path;
}

void SetMakerHostForTesting(const std::optional<TMakerHostOverride>& hostOverride) {
  auto& overrides = Overrides();
  std::lock_guard lock(overrides.mutex);
  overrides.host = hostOverride;
}

void SetTrustedCaFileForTesting(const QString& pemPath) {
  auto& overrides = Overrides();
  std::lock_guard lock(overrides.mutex);
  overrides.caFile = QFile::encodeName(pemPath).toStdString();
}

// ---- Requests --------------------------------------------------------------------

QString PostForm(const QString& address, const QStringList& fields, int timeoutMs,
                 const std::atomic<bool>* abandon) {
  fetch::RequireGlobalInit();
  const bool https = address.toLower().startsWith(QStringLiteral("https://"));

  TCurlHandle handle(curl_easy_init());
  if (!handle) throw std::runtime_error("The HTTP client could not be created");
  CURL* h = handle.get();

  const std::string url = address.toUtf8().toStdString();
  const std::string body = EncodeForm(h, fields);
  std::string caFile;
  {
    auto& overrides = Overrides();
    std::lock_guard lock(overrides.mutex);
    caFile = overrides.caFile;
  }

  TTransfer transfer;
  transfer.handle = h;
  transfer.idleLimit = std::chrono::milliseconds(timeoutMs);
  transfer.abandon = abandon;

  // Both clients send the body in one go; "Expect: 100-continue" would make
  // a large feedback text wait for a server that may never answer it.
  TSlist headers(curl_slist_append(nullptr, "Expect:"));
  if (https && headers) headers.reset(curl_slist_append(headers.release(), "Connection: close"));
  if (!headers) throw std::runtime_error("Out of memory while building a request");

  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, https ? "https" : "http");
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  if (https) {
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) {
      curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str());
      curl_easy_setopt(h, CURLOPT_CAPATH, static_cast<char*>(nullptr));
    }
  }

  const CURLcode result = curl_easy_perform(h);
  if (result != CURLE_OK) {
    if (transfer.abandoned) throw std::runtime_error("The request was abandoned");
    if (transfer.timedOut)
      throw std::runtime_error("The server did not answer within " + std::to_string(timeoutMs) +
                               " ms");
    throw std::runtime_error(errorText[0] ? errorText : curl_easy_strerror(result));
  }

  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (!https && status >= 400)
    throw std::runtime_error("HTTP status " + std::to_string(status));

  const char* contentType = nullptr;
  curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType);
  return DecodeBody(transfer.body, CharsetOf(contentType));
}

QString ServiceRequest(const QString& endpointPath, const QStringList& fields, int timeoutMs,
                       bool* httpsFailed, const std::atomic<bool>* abandon) {
  if (httpsFailed) *httpsFailed = false;
  try {
    return PostForm(MakerUrl(QStringLiteral("https"), endpointPath), fields, timeoutMs, abandon);
  } catch (const std::exception&) {
    if (httpsFailed) *httpsFailed = true;
  }
  if (abandon && abandon->load()) throw std::runtime_error("The request was abandoned");
  return PostForm(MakerUrl(QStringLiteral("http"), endpointPath), fields, timeoutMs, abandon);
}

// ---- Answers ---------------------------------------------------------------------

QString TagValue(const QString& line, const QString& tag) {
  if (line.isEmpty() || tag.isEmpty()) return {};
  const QString lowered = tag.toLower();
  const QString opening = u'<' + lowered + u'>';
  const QString closing = QStringLiteral("</") + lowered + u'>';
  if (!line.startsWith(opening, Qt::CaseSensitive) || !line.endsWith(closing, Qt::CaseSensitive))
    return {};
  const qsizetype length = line.size() - opening.size() - closing.size();
  if (length <= 0) return {};
  return line.mid(opening.size(), length);
}

QString TrimBlanksAndControls(const QString& text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text[first].unicode() <= 0x20) ++first;
  while (last > first && text[last - 1].unicode() <= 0x20) --last;
  return text.mid(first, last - first);
}

// ---- Machine, locale and system ----------------------------------------------

QString GetMachineGuid() {
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    if (QFile::exists(QString::fromLatin1(path)))
      return GetMachineGuidFrom(QString::fromLatin1(path));
  }
  return {};
}

QString GetMachineGuidFrom(const QString& machineIdPath) {
  QFile file(machineIdPath);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const auto machineId = ParseMachineId(file.read(256));
  if (!machineId) return {};

  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (!HMAC(EVP_sha256(), machineId->data(), static_cast<int>(machineId->size()),
            kApplicationId.data(), kApplicationId.size(), digest, &digestLength) ||
      digestLength < 16)
    throw std::runtime_error("The machine identifier could not be derived");

  // Shape it as a random (version 4, RFC 4122 variant) UUID, as systemd does.
  digest[6] = static_cast<unsigned char>((digest[6] & 0x0F) | 0x40);
  digest[8] = static_cast<unsigned char>((digest[8] & 0x3F) | 0x80);
  const QByteArray hex = QByteArray(reinterpret_cast<const char*>(digest), 16).toHex();
  return QString::fromLatin1(hex.left(8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-' +
                             hex.mid(16, 4) + '-' + hex.mid(20, 12));
}

QString GetLocaleName() { return LocaleNameFor(QLocale::system().name()); }

QString LocaleNameFor(const QString& qtLocaleName) {
  if (qtLocaleName.isEmpty() || qtLocaleName == u"C" || qtLocaleName == u"POSIX")
    return QStringLiteral("xx");
  const QLocale locale(qtLocaleName);
  if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage)
    return QStringLiteral("xx");
  QString name = locale.name();
  name.replace(u'_', u'-');
  return name;
}

QString OperatingSystemDescription() {
  struct utsname system {};
  QString kernelName, release, machine;
  if (uname(&system) == 0) {
    kernelName = QString::fromUtf8(system.sysname);
    release = QString::fromUtf8(system.release);
    machine = QString::fromUtf8(system.machine);
  }
  return OperatingSystemDescriptionFrom(ReadOsRelease(), kernelName, release, machine);
}

QString OperatingSystemDescriptionFrom(const QString& osReleaseText, const QString& kernelName,
                                       const QString& kernelRelease, const QString& machine) {
  QString prettyName, name;
  for (const QString& line : i18n::SplitTextLines(osReleaseText)) {
    const QStringView view = QStringView(line).trimmed();
    if (view.startsWith(u"PRETTY_NAME=")) prettyName = Unquote(view.mid(12));
    else if (view.startsWith(u"NAME=")) name = Unquote(view.mid(5));
  }
  QString product = !prettyName.isEmpty() ? prettyName : !name.isEmpty() ? name : kernelName;
  if (product.isEmpty()) product = QStringLiteral("Linux");

  static const QRegularExpression numbers(QStringLiteral(R"(^(\d+)(?:\.(\d+))?(?:\.(\d+))?)"));
  const auto match = numbers.match(kernelRelease);
  auto number = [&match](int index) {
    bool ok = false;
    const int value = match.captured(index).toInt(&ok);
    return QString::number(ok ? value : 0);
  };
  const bool wide = machine.contains(QStringLiteral("64")) || machine == u"s390x";
  const QString edition = wide ? QStringLiteral("64-bit Edition") : QStringLiteral("32-bit Edition");
  return QStringLiteral("%1 (Version %2.%3, Build %4, %5)")
      .arg(product, number(1), number(2), number(3), edition);
}

}  // namespace services
