#include "platform/foundation/BinaryPropertyListWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

namespace pex {

namespace {

// The high half of an object's first byte names its kind; the low half holds a small count
// or the size of the number that follows.
enum Marker : std::uint8_t {
    kFalse = 0x08,
    kTrue = 0x09,
    kInteger = 0x10,
    kReal8 = 0x23,
    kDate = 0x33,
    kData = 0x40,
    kASCIIText = 0x50,
    kUTF16Text = 0x60,
    kArray = 0xA0,
    kDictionary = 0xD0,
};
constexpr std::size_t kLongCount = 0x0F;  // the count follows as an integer object

// 1, 2, 4 or 8: the bytes that hold `value`.
int bytesFor(std::uint64_t value) {
    if (value <= 0xFF) return 1;
    if (value <= 0xFFFF) return 2;
    if (value <= 0xFFFFFFFF) return 4;
    return 8;
}

std::uint8_t sizeExponent(int bytes) {
    return static_cast<std::uint8_t>(std::countr_zero(static_cast<unsigned>(bytes)));
}

void appendBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void appendUnsigned(std::string& out, std::uint64_t value) {
    const int bytes = bytesFor(value);
    out.push_back(static_cast<char>(kInteger | sizeExponent(bytes)));
    appendBigEndian(out, value, bytes);
}

void appendHeader(std::string& out, std::uint8_t marker, std::size_t count) {
    if (count < kLongCount) {
        out.push_back(static_cast<char>(marker | count));
        return;
    }
    out.push_back(static_cast<char>(marker | kLongCount));
    appendUnsigned(out, count);
}

// UTF-16 code units of UTF-8 text; a byte that starts no valid sequence becomes U+FFFD.
std::vector<std::uint16_t> utf16Units(std::string_view text) {
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::vector<std::uint16_t> units;
    units.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = lead < 0x80             ? 1
                             : (lead & 0xE0) == 0xC0 ? 2
                             : (lead & 0xF0) == 0xE0 ? 3
                             : (lead & 0xF8) == 0xF0 ? 4
                                                     : 0;
        std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = length != 0 && at + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[at + k]);
            valid = (next & 0xC0) == 0x80;
            point = (point << 6) | (next & 0x3F);
        }
        valid = valid && point >= kSmallest[length] && point <= 0x10FFFF &&
                (point < 0xD800 || point > 0xDFFF);
        if (!valid) {
            units.push_back(0xFFFD);
            ++at;
            continue;
        }
        if (point >= 0x10000) {
            point -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (point >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (point & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(point));
        }
        at += length;
    }
    return units;
}

void appendText(std::string& out, const std::string& text) {
    const std::string_view kept(text.data(), std::min(text.find('\0'), text.size()));
    if (std::all_of(kept.begin(), kept.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        appendHeader(out, kASCIIText, kept.size());
        out.append(kept);
        return;
    }
    const std::vector<std::uint16_t> units = utf16Units(kept);
    appendHeader(out, kUTF16Text, units.size());
    for (std::uint16_t unit : units) appendBigEndian(out, unit, 2);
}

// Objects are numbered depth first, a container before what it holds (a dictionary's keys
// before its values), and written in that order.
class Writer {
  public:
    std::string write(const PropertyList& top) {
        objects_.reserve(32);
        add(top);
        referenceSize_ = bytesFor(objects_.size());
        std::string out = "bplist00";
        out.reserve(estimatedSize_ + objects_.size() * (9 + 2 * referenceSize_) + 64);
        std::vector<std::uint64_t> offsets;
        offsets.reserve(objects_.size());
        for (const Object& object : objects_) {
            offsets.push_back(out.size());
            append(out, object);
        }
        const std::uint64_t tableOffset = out.size();
        const int offsetSize = bytesFor(tableOffset);
        for (std::uint64_t offset : offsets) appendBigEndian(out, offset, offsetSize);
        out.append(6, '\0');
        out.push_back(static_cast<char>(offsetSize));
        out.push_back(static_cast<char>(referenceSize_));
        appendBigEndian(out, objects_.size(), 8);
        appendBigEndian(out, 0, 8);  // the top object
        appendBigEndian(out, tableOffset, 8);
        return out;
    }

  private:
    struct Object {
        const PropertyList* value = nullptr;  // none for a dictionary key
        const std::string* key = nullptr;
        std::vector<std::uint64_t> references;
    };

    std::uint64_t add(const PropertyList& value) {
        const std::uint64_t index = objects_.size();
        objects_.push_back({&value, nullptr, {}});
        if (const auto* text = value.get<std::string>()) estimatedSize_ += 2 * text->size();
        if (const auto* bytes = value.get<PropertyList::Data>()) estimatedSize_ += bytes->size();
        std::vector<std::uint64_t> references;
        if (const auto* items = value.get<PropertyList::Array>()) {
            references.reserve(items->size());
            for (const PropertyList& item : *items) references.push_back(add(item));
        } else if (const auto* entries = value.get<PropertyList::Dictionary>()) {
            references.reserve(entries->size() * 2);
            for (const auto& entry : *entries) {
                references.push_back(objects_.size());
                objects_.push_back({nullptr, &entry.first, {}});
                estimatedSize_ += entry.first.size();
            }
            for (const auto& entry : *entries) references.push_back(add(entry.second));
        }
        objects_[index].references = std::move(references);
        return index;
    }

    void appendReferences(std::string& out, const std::vector<std::uint64_t>& references) const {
        for (std::uint64_t reference : references) appendBigEndian(out, reference, referenceSize_);
    }

    void append(std::string& out, const Object& object) const {
        if (!object.value) return appendText(out, *object.key);
        const PropertyList::Value& value = object.value->value();
        if (const auto* text = std::get_if<std::string>(&value)) {
            appendText(out, *text);
        } else if (const auto* number = std::get_if<std::int64_t>(&value)) {
            // Negative numbers take all eight bytes, as two's complement.
            if (*number >= 0) {
                appendUnsigned(out, static_cast<std::uint64_t>(*number));
            } else {
                out.push_back(static_cast<char>(kInteger | sizeExponent(8)));
                appendBigEndian(out, static_cast<std::uint64_t>(*number), 8);
            }
        } else if (const auto* real = std::get_if<double>(&value)) {
            out.push_back(static_cast<char>(kReal8));
            appendBigEndian(out, std::bit_cast<std::uint64_t>(*real), 8);
        } else if (const auto* flag = std::get_if<bool>(&value)) {
            out.push_back(static_cast<char>(*flag ? kTrue : kFalse));
        } else if (const auto* date = std::get_if<PropertyList::Date>(&value)) {
            const PropertyListDateParts parts = propertyListDateParts(*date);
            const double seconds = double(parts.seconds) + double(parts.microseconds) / 1e6;
            out.push_back(static_cast<char>(kDate));
            appendBigEndian(out, std::bit_cast<std::uint64_t>(seconds), 8);
        } else if (const auto* bytes = std::get_if<PropertyList::Data>(&value)) {
            appendHeader(out, kData, bytes->size());
            out.append(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        } else if (std::holds_alternative<PropertyList::Array>(value)) {
            appendHeader(out, kArray, object.references.size());
            appendReferences(out, object.references);
        } else {
            appendHeader(out, kDictionary, object.references.size() / 2);
            appendReferences(out, object.references);
        }
    }

    std::vector<Object> objects_;
    std::size_t estimatedSize_ = 0;  // of the texts and data, to write into one allocation
    int referenceSize_ = 1;
};

}  // namespace

PropertyListDateParts propertyListDateParts(const PropertyList::Date& date) {
    const double seconds =
        std::isnan(date.secondsSinceReferenceDate) ? 0.0 : date.secondsSinceReferenceDate;
    double whole = std::clamp(std::floor(seconds), double(std::numeric_limits<std::int32_t>::min()),
                              double(std::numeric_limits<std::int32_t>::max()) - 1);
    auto micro =
        static_cast<std::int32_t>(std::lround(std::clamp(seconds - whole, 0.0, 1.0) * 1e6));
    if (micro >= 1000000) {
        whole += 1;
        micro -= 1000000;
    }
    return {static_cast<std::int32_t>(whole), micro};
}

std::string binaryPropertyList(const PropertyList& value) {
    return Writer().write(value);
}

}  // namespace pex
