// Requests to the maker's web service: one form POST per request, https
// first and plain http when that fails, answers read as tagged text lines.
//
// Every function here may be called from any thread: each request builds its
// own libcurl handle and shares nothing with another one. The testing hooks
// at the end are meant for tests only; set them before any request starts.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

#include "fetch/proxy.h"

namespace services {

// The maker's host name (the build setting LUMASIFT_MAKER_HOST), used by the
// service requests and by every maker web page the program opens.
QString MakerHost();

// scheme + "://" + host + "/" + path, for example
// MakerUrl("https", "php/check2.php"). While a testing override is active the
// host carries the override's port for that scheme.
QString MakerUrl(const QString& scheme, const QString& path);

// The proxy every request below goes through, read afresh by each request.
// The window sets it at start and whenever the user changes it; nothing set
// means direct requests, whatever the environment says. Safe from any thread.
void SetServiceProxy(const fetch::ProxySettings& proxy);
fetch::ProxySettings ServiceProxy();

// Sends one POST of `fields` ("name=value" texts, sent as built) to `address`
// as an application/x-www-form-urlencoded body: names and values
// percent-encoded from UTF-8, joined by "&" in the given order. Returns the
// answer's body decoded by the charset the answer declares (UTF-8 when it
// declares none or one we do not know).
//
// https addresses: the server's certificate is verified against the system's
// trust store; the request carries "Connection: close"; connecting (TCP and
// TLS handshake) may take at most `timeoutMs`, and so may each wait for the
// answer's next bytes. Any HTTP status comes back as text.
// Other addresses: plain HTTP with the client's default headers and the same
// time-outs; a status of 400 or above is a failure.
//
// Throws std::runtime_error on failure (no connection, time-out, TLS failure,
// a proxy's failure in the fetch's words, and for plain http an error status). `abandon`, when given and set by
// another thread, ends the request early with a failure.
QString PostForm(const QString& address, const QStringList& fields, int timeoutMs,
                 const std::atomic<bool>* abandon = nullptr);

// PostForm to MakerUrl("https", endpointPath); when that fails for any reason,
// PostForm the same fields to MakerUrl("http", endpointPath). Returns the
// first answer obtained; throws std::runtime_error when both fail.
// *httpsFailed (when given) tells whether the https attempt failed; it is
// set before the http attempt, so it is valid also when this throws.
QString ServiceRequest(const QString& endpointPath, const QStringList& fields, int timeoutMs,
                       bool* httpsFailed = nullptr,
                       const std::atomic<bool>* abandon = nullptr);

// The value of an answer line "<tag>value</tag>". The tag is lowered; both tags
// must stand at the very start and end of the line (compared case-sensitively).
// Empty when the line or the tag is empty or the line is not so tagged.
// The value is never trimmed.
QString TagValue(const QString& line, const QString& tag);

// Removes blanks and control characters (every code point up to U+0020) from
// both ends.
QString TrimBlanksAndControls(const QString& text);

// An identifier of this machine for this program, derived from the machine id
// (/etc/machine-id, else /var/lib/dbus/machine-id) with HMAC-SHA256 keyed by
// the machine id over a fixed application id of ours, as systemd derives
// application-specific ids: stable per machine, useless for linking the
// machine across programs, and the raw machine id never leaves the machine.
// Lower-case "xxxxxxxx-xxxx-4xxx-Nxxx-xxxxxxxxxxxx". Empty when there is no
// readable, well-formed machine id. Throws only when the hash cannot be
// computed.
QString GetMachineGuid();
// The same from a given machine-id file.
QString GetMachineGuidFrom(const QString& machineIdPath);

// The user's locale in language-region form ("en-US"); "xx" when the user has
// no locale of that kind (the C/POSIX locale).
QString GetLocaleName();
// The same for a given locale name as Qt spells it ("de_DE", "C").
QString LocaleNameFor(const QString& qtLocaleName);

// "<name> (Version <major>.<minor>, Build <build>, <64|32>-bit Edition)": the
// name is PRETTY_NAME of /etc/os-release (else /usr/lib/os-release; NAME when
// there is no PRETTY_NAME; the kernel's name when neither is there). Major,
// minor and build are the first three numbers of the kernel release
// ("6.1.0-13-amd64" gives 6, 1 and 0; a missing number is 0).
QString OperatingSystemDescription();
// The same from given texts: the os-release file's contents, the kernel's
// name, release and machine (as uname reports them).
QString OperatingSystemDescriptionFrom(const QString& osReleaseText, const QString& kernelName,
                                       const QString& kernelRelease, const QString& machine);

// ---- Testing hooks -------------------------------------------------------
// Points the maker's host at a test server: `host` (for example "127.0.0.1")
// with one port per scheme (0 = the scheme's default port). std::nullopt
// restores the build setting.
struct TMakerHostOverride {
  QString host;
  int httpsPort = 0;
  int httpPort = 0;
};
void SetMakerHostForTesting(const std::optional<TMakerHostOverride>& hostOverride);

// Trusts the certificates of this PEM file (in place of the system's trust
// store) for https requests; an empty path restores the system's store.
void SetTrustedCaFileForTesting(const QString& pemPath);

}  // namespace services
