#pragma once
// Takes a fuzz input apart: a few leading bytes steer the run, the rest is
// the data under test. Running out of bytes gives zeros, so every input is
// usable.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    QByteArray rest()
    {
        const size_t from = m_pos;
        m_pos = m_size;
        return QByteArray(reinterpret_cast<const char *>(m_data + from), qsizetype(m_size - from));
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A broken invariant is a finding: abort so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);          \
            abort();                                                                               \
        }                                                                                          \
    } while (false)
