#pragma once
// Platform identification: the catalogue, the two signature tables and the
// matchers that turn a page text and a header text into a platforms text.
//
// Call LoadPlatformInformation() once, on one thread, before any other
// function here; afterwards every function is re-entrant and may be called
// from any number of threads at once without locking.
#include <string>
#include <string_view>

namespace engine {

// Builds the catalogue and both signature tables (and their compiled forms).
// Later calls do nothing.
void LoadPlatformInformation();

// Display name of the platform whose code is `code`, or `code` itself when
// the catalogue has no such code (case-sensitive, whole code).
std::u16string GetPlatformName(std::u16string_view code);

// Name of the platform of the first plain-text entry, in table order, one of
// whose alternatives occurs in `pageText`; empty when none does.
std::u16string FindBySignature(std::u16string_view pageText);

// The same for the regular-expression table.
std::u16string FindByRegEx(std::u16string_view pageText);

// Values of the X-Powered-By, Powered-by and Server lines of `headerText`,
// in order, joined by CR LF; empty when there are none.
std::u16string FindByHeaders(std::u16string_view headerText);

// The site's platforms text: `pageText` itself when it begins with "Error: ",
// otherwise the names found (plain table, regular expressions, header values),
// de-duplicated without regard to ASCII case and joined by ", ".
std::u16string IdentifySite(std::u16string_view pageText, std::u16string_view headerText);

class TExtraSignatures;

// The same with extra signatures (see extra_signatures.h): an extra entry
// adds a name only where the built-in table of its kind finds nothing, so
// extras can add names to the text but never change or remove one. With
// extras, a match inside the address of a link to another site credits
// nothing, in the built-in tables too (see link_rule.h); `pageUrl`, where
// the page came from (empty: not known), tells the page's own site. A null
// `extras` is the call above.
std::u16string IdentifySite(std::u16string_view pageText, std::u16string_view headerText,
                            const TExtraSignatures* extras, std::u16string_view pageUrl = {});

}  // namespace engine
