#pragma once
// Answers of a loopback site (support/run_site.h) with real pages of several
// platforms and failing sites, for the run summary's tests:
// /wp/<v>: a WordPress page stating version <v>, served by nginx/1.24.0;
// /drupal: a Drupal 7 page served by Apache/2.4.57 (Debian) with PHP/8.2.12;
// /joomla: a Joomla page without version; /plain (any other path): a page of
// no platform; /gone: 404; /broken: 500; /hold/<path>: <path> once let go.
#include <string>

#include "support/run_site.h"

namespace testsupport {

inline SiteReply PlatformPage(const SiteRequest& request) {
  SiteReply reply;
  std::string path = request.path;
  if (path.starts_with("/hold/")) {
    reply.hold = true;
    path = path.substr(5);
  }
  reply.headers.push_back({"Content-Type", "text/html"});
  if (path.starts_with("/wp/")) {
    reply.headers.push_back({"Server", "nginx/1.24.0"});
    reply.body = "<html><head><meta name=\"generator\" content=\"WordPress " + path.substr(4) +
                 "\"><link rel=\"stylesheet\" href=\"/wp-content/themes/t/style.css\"></head><body>blog</body></html>";
  } else if (path == "/drupal") {
    reply.headers.push_back({"Server", "Apache/2.4.57 (Debian)"});
    reply.headers.push_back({"X-Powered-By", "PHP/8.2.12"});
    reply.body = "<html><head><meta name=\"Generator\" content=\"Drupal 7 (https://www.drupal.org)\">"
                 "<script src=\"/misc/drupal.js\"></script></head></html>";
  } else if (path == "/joomla") {
    reply.body = "<html><head><link href=\"/templates/x/css/joomla.css\" rel=\"stylesheet\"></head></html>";
  } else if (path == "/gone") {
    reply.status = 404;
    reply.reason = "Not Found";
  } else if (path == "/broken") {
    reply.status = 500;
    reply.reason = "Internal Server Error";
  } else {
    reply.body = "<html><body>hand-written</body></html>";
  }
  return reply;
}

}  // namespace testsupport
