#include "melody.h"

namespace tonebridge::lsp {

unsigned voiceIndexBits(unsigned voiceCount) {
    unsigned bits = 1;
    while (((1ull << bits) - 1) < voiceCount) {
        ++bits;
    }
    return bits;
}

int durationIndexOf(uint32_t units) {
    for (int i = 0; i < kDurationCount; ++i) {
        if (kDurations[static_cast<std::size_t>(i)] == units) {
            return i;
        }
    }
    return -1;
}

bool isGreedyRepresentable(uint32_t units) {
    for (int i = kDurationCount - 1; i >= 0 && units > 0; --i) {
        units %= kDurations[static_cast<std::size_t>(i)];
    }
    return units == 0;
}

bool greedyDecompose(uint32_t units, std::vector<uint8_t>& out) {
    if (!isGreedyRepresentable(units)) {
        return false;
    }
    for (int i = kDurationCount - 1; i >= 0 && units > 0; --i) {
        const uint32_t d = kDurations[static_cast<std::size_t>(i)];
        for (; units >= d; units -= d) {
            out.push_back(static_cast<uint8_t>(i));
        }
    }
    return true;
}

void BitWriter::write(uint32_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
        if (m_bitCount % 8 == 0) {
            m_bytes.push_back(0);
        }
        if ((value >> i) & 1u) {
            m_bytes.back() |= static_cast<uint8_t>(0x80u >> (m_bitCount % 8));
        }
        ++m_bitCount;
    }
}

void BitWriter::writeBytes(const uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        write(data[i], 8);
    }
}

bool BitReader::read(unsigned bits, uint32_t& value) {
    if (bits > bitsLeft()) {
        return false;
    }
    uint32_t v = 0;
    for (unsigned i = 0; i < bits; ++i, ++m_bitPos) {
        const uint8_t byte = m_data[m_bitPos / 8];
        v = (v << 1) | ((byte >> (7 - m_bitPos % 8)) & 1u);
    }
    value = v;
    return true;
}

} // namespace tonebridge::lsp
