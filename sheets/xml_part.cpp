#include "sheets/xml_part.h"

#include <expat.h>

#include <cstring>
#include <memory>
#include <optional>

namespace tabrelium {
namespace {

// Large enough that the per-call cost of expat and libzip disappears,
// small enough to stay in cache.
constexpr int kChunkBytes = 64 * 1024;

struct ParserFree {
  void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

struct ParseState {
  XML_Parser parser;
  XmlPartHandler* handler;
  uint32_t depth = 0;
  uint32_t maxDepth;
  std::string_view formatName;  // "XLSX", "OpenDocument"
  std::string limitFailure;     // a guard of this file, not of the handler
};

std::string_view LocalName(const char* name) {
  const char* colon = std::strchr(name, ':');
  return colon ? std::string_view(colon + 1) : std::string_view(name);
}

void Stop(ParseState& state) { XML_StopParser(state.parser, XML_FALSE); }

void XMLCALL StartElement(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto& state = *static_cast<ParseState*>(data);
  if (++state.depth > state.maxDepth) {
    state.limitFailure = "elements are nested more than " + std::to_string(state.maxDepth) +
                         " deep";
    Stop(state);
    return;
  }
  state.handler->OnStart(LocalName(name), attributes);
  if (!state.handler->failure().ok() || state.handler->finished()) Stop(state);
}

void XMLCALL EndElement(void* data, const XML_Char* name) {
  auto& state = *static_cast<ParseState*>(data);
  --state.depth;
  state.handler->OnEnd(LocalName(name));
  if (!state.handler->failure().ok() || state.handler->finished()) Stop(state);
}

void XMLCALL CharacterData(void* data, const XML_Char* text, int length) {
  auto& state = *static_cast<ParseState*>(data);
  state.handler->OnText(std::string_view(text, static_cast<size_t>(length)));
  if (!state.handler->failure().ok() || state.handler->finished()) Stop(state);
}

// Package parts never carry a DTD; refusing one rules out entity bombs.
void XMLCALL StartDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  auto& state = *static_cast<ParseState*>(data);
  state.limitFailure =
      "it declares a document type, which " + std::string(state.formatName) + " parts never do";
  Stop(state);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

Status ParseXmlPart(ZipPackage& zip, const std::string& part, XmlPartHandler& handler,
                    const PackageLimits& limits) {
  std::optional<ZipPackageMember> member;
  if (Status opened = zip.Open(part, limits.maxMemberBytes, member); !opened.ok()) return opened;

  const std::string formatName(PackageFormatName(zip.format()));
  const std::string outOfMemory = "out of memory while reading the " + formatName + " file";
  std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
  if (!parser) return Status::Failed(outOfMemory);
  ParseState state{parser.get(), &handler, 0, limits.maxXmlDepth, formatName, {}};
  XML_SetUserData(parser.get(), &state);
  XML_SetElementHandler(parser.get(), StartElement, EndElement);
  XML_SetCharacterDataHandler(parser.get(), CharacterData);
  XML_SetStartDoctypeDeclHandler(parser.get(), StartDoctype);

  for (;;) {
    void* buffer = XML_GetBuffer(parser.get(), kChunkBytes);
    if (buffer == nullptr) return Status::Failed(outOfMemory);
    const int64_t n = member->Read(static_cast<char*>(buffer), kChunkBytes);
    if (n < 0) return member->status();
    const bool last = n == 0;
    if (XML_ParseBuffer(parser.get(), static_cast<int>(n), last) != XML_STATUS_OK) {
      if (!handler.failure().ok()) return handler.failure();
      if (handler.finished()) return {};
      const std::string where = "damaged " + formatName + " file: the part " + part;
      if (!state.limitFailure.empty())
        return Status::Failed(where + " is refused: " + state.limitFailure, {.part = part});
      return Status::Failed(where + " is not well-formed XML (line " +
                                std::to_string(XML_GetCurrentLineNumber(parser.get())) + ": " +
                                XML_ErrorString(XML_GetErrorCode(parser.get())) + ")",
                            {.part = part});
    }
    if (last) return {};
  }
}

const char* FindAttribute(const char** attributes, std::string_view name) {
  for (; *attributes != nullptr; attributes += 2)
    if (name == attributes[0]) return attributes[1];
  return nullptr;
}

const char* FindPrefixedAttribute(const char** attributes, std::string_view localName) {
  for (; *attributes != nullptr; attributes += 2) {
    const char* colon = std::strchr(attributes[0], ':');
    if (colon != nullptr && localName == colon + 1) return attributes[1];
  }
  return nullptr;
}

void DecodeXmlTextEscapes(std::string& text, size_t from) {
  size_t at = text.find("_x", from);
  if (at == std::string::npos) return;
  std::string out(text, 0, at);
  while (at < text.size()) {
    uint32_t code = 0;
    bool escape = at + 7 <= text.size() && text[at] == '_' && text[at + 1] == 'x' &&
                  text[at + 6] == '_';
    for (size_t i = 2; escape && i < 6; ++i) {
      const int digit = HexDigit(text[at + i]);
      escape = digit >= 0;
      code = code * 16 + static_cast<uint32_t>(digit);
    }
    // A lone surrogate has no UTF-8 form; such an escape stays as written.
    if (escape && (code < 0xD800 || code > 0xDFFF)) {
      AppendUtf8(out, code);
      at += 7;
    } else {
      out += text[at++];
    }
  }
  text = std::move(out);
}

}  // namespace tabrelium
