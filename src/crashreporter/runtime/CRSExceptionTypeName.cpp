#include "crashreporter/runtime/CRSExceptionTypeName.h"

#include <cstring>

namespace pex {

namespace {

// A bounded writer over the caller's buffer.
struct Out {
    char* text;
    std::size_t size;
    std::size_t length;

    void put(const char* piece, std::size_t count) {
        for (std::size_t i = 0; i < count && length + 1 < size; ++i) text[length++] = piece[i];
        text[length] = '\0';
    }
    void put(const char* piece) { put(piece, std::strlen(piece)); }
};

const char* fundamental(char code) {
    switch (code) {
        case 'v':
            return "void";
        case 'b':
            return "bool";
        case 'c':
            return "char";
        case 'a':
            return "signed char";
        case 'h':
            return "unsigned char";
        case 's':
            return "short";
        case 't':
            return "unsigned short";
        case 'i':
            return "int";
        case 'j':
            return "unsigned int";
        case 'l':
            return "long";
        case 'm':
            return "unsigned long";
        case 'x':
            return "long long";
        case 'y':
            return "unsigned long long";
        case 'f':
            return "float";
        case 'd':
            return "double";
        case 'e':
            return "long double";
        default:
            return nullptr;
    }
}

// <length><identifier>; false at anything else.
bool sourceName(const char*& at, Out& out) {
    if (*at < '1' || *at > '9') return false;
    std::size_t length = 0;
    while (*at >= '0' && *at <= '9') {
        length = length * 10 + static_cast<std::size_t>(*at - '0');
        if (length > 4096) return false;
        ++at;
    }
    if (std::strlen(at) < length) return false;
    out.put(at, length);
    at += length;
    return true;
}

bool type(const char*& at, Out& out);

// The type a pointer or const applies to, written before its marker ("const char *").
bool qualified(const char*& at, Out& out) {
    if (*at == 'P') {
        ++at;
        if (!qualified(at, out)) return false;
        out.put(" *");
        return true;
    }
    if (*at == 'K') {
        ++at;
        out.put("const ");
        return type(at, out);
    }
    return type(at, out);
}

bool type(const char*& at, Out& out) {
    if (const char* name = fundamental(*at)) {
        ++at;
        out.put(name);
        return true;
    }
    if (at[0] == 'S' && at[1] == 't') {
        at += 2;
        out.put("std::");
        return sourceName(at, out);
    }
    if (*at == 'N') {
        ++at;
        bool first = true;
        while (*at != 'E') {
            if (!first) out.put("::");
            if (first && at[0] == 'S' && at[1] == 't') {
                at += 2;
                out.put("std::");
            }
            if (!sourceName(at, out)) return false;
            first = false;
        }
        ++at;
        return !first;
    }
    if (*at == 'P' || *at == 'K') return qualified(at, out);
    return sourceName(at, out);
}

}  // namespace

bool CRSExceptionTypeNameDemangle(const char* mangled, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return false;
    out[0] = '\0';
    if (mangled == nullptr) return false;
    Out written{out, size, 0};
    const char* at = mangled;
    if (qualified(at, written) && *at == '\0') return true;
    written.length = 0;
    written.put(mangled);
    return false;
}

}  // namespace pex
