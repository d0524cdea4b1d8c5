// CValueArray: the growable pointer array that carries value texts and value
// strings across the library boundary.
#include "Brindle.h"

#include <cstdlib>

CValueArray::CValueArray() : m_items(nullptr), m_size(0), m_capacity(0) {}

CValueArray::~CValueArray() {
    std::free(m_items);
}

INT_PTR CValueArray::GetSize() const {
    return m_size;
}

void* CValueArray::GetAt(INT_PTR index) const {
    return index >= 0 && index < m_size ? m_items[index] : nullptr;
}

void CValueArray::SetAt(INT_PTR index, void* item) {
    if (index >= 0 && index < m_size) m_items[index] = item;
}

INT_PTR CValueArray::Add(void* item) {
    if (m_size == m_capacity) {
        INT_PTR capacity = m_capacity == 0 ? 8 : m_capacity * 2;
        if (capacity < m_capacity || static_cast<size_t>(capacity) > SIZE_MAX / sizeof(void*)) return -1;
        void* grown = std::realloc(m_items, static_cast<size_t>(capacity) * sizeof(void*));
        if (!grown) return -1;
        m_items = static_cast<void**>(grown);
        m_capacity = capacity;
    }
    m_items[m_size] = item;
    return m_size++;
}

void CValueArray::RemoveAll() {
    std::free(m_items);
    m_items = nullptr;
    m_size = 0;
    m_capacity = 0;
}
