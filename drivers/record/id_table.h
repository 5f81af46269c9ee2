#pragma once
// A table of owned values by 64-bit id (page offsets and temporary page ids), for the pager's
// cache of pages, which every step down the tree asks. Open addressing with linear probing in a
// power-of-two array kept at most half full; erasing shifts the following cells back, so there
// are no tombstones and a lookup stops at the first empty cell. Values live in their own heap
// cells: a pointer to one stays valid until that value is erased, whatever else happens.
//
// Not thread-safe; one pager uses it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace sitedex::record {

template <class T>
class IdTable {
public:
    IdTable() : m_cells(16), m_shift(64 - 4) {}
    IdTable(const IdTable&) = delete;
    IdTable& operator=(const IdTable&) = delete;

    size_t size() const { return m_count; }

    T* find(uint64_t id) const {
        for (size_t i = home(id);; i = (i + 1) & mask()) {
            const Cell& c = m_cells[i];
            if (!c.value) return nullptr;
            if (c.id == id) return c.value.get();
        }
    }

    // The value under id, made (value-initialised) when there is none.
    T& operator[](uint64_t id) {
        if (T* v = find(id)) return *v;
        if ((m_count + 1) * 2 > m_cells.size()) grow();
        return *place(id, std::make_unique<T>());
    }

    // Takes the value out of the table (null when there is none).
    std::unique_ptr<T> take(uint64_t id) {
        for (size_t i = home(id);; i = (i + 1) & mask()) {
            Cell& c = m_cells[i];
            if (!c.value) return nullptr;
            if (c.id != id) continue;
            std::unique_ptr<T> v = std::move(c.value);
            --m_count;
            closeGap(i);
            return v;
        }
    }
    bool erase(uint64_t id) { return take(id) != nullptr; }

    // REQUIRES: no value under id.
    void put(uint64_t id, std::unique_ptr<T> v) {
        if ((m_count + 1) * 2 > m_cells.size()) grow();
        place(id, std::move(v));
    }

    template <class F>
    void forEach(F&& f) const {
        for (const Cell& c : m_cells)
            if (c.value) f(c.id, *c.value);
    }

private:
    struct Cell {
        uint64_t id = 0;
        std::unique_ptr<T> value;
    };

    size_t mask() const { return m_cells.size() - 1; }
    // Page offsets are multiples of 256; the multiplication spreads them over the whole array.
    size_t home(uint64_t id) const { return size_t((id * 0x9E3779B97F4A7C15ull) >> m_shift); }

    T* place(uint64_t id, std::unique_ptr<T> v) {
        size_t i = home(id);
        while (m_cells[i].value) i = (i + 1) & mask();
        m_cells[i].id = id;
        m_cells[i].value = std::move(v);
        ++m_count;
        return m_cells[i].value.get();
    }

    // Cell i was emptied: moves back every later cell of the run that may not stay behind the gap.
    void closeGap(size_t i) {
        for (size_t j = (i + 1) & mask(); m_cells[j].value; j = (j + 1) & mask()) {
            size_t k = home(m_cells[j].id);
            // The entry at j may fill the gap at i when its home is not in the cyclic range (i, j].
            bool stays = i <= j ? (i < k && k <= j) : (i < k || k <= j);
            if (stays) continue;
            m_cells[i] = std::move(m_cells[j]);
            i = j;
        }
    }

    void grow() {
        std::vector<Cell> old = std::move(m_cells);
        m_cells = std::vector<Cell>(old.size() * 2);
        --m_shift;
        m_count = 0;
        for (Cell& c : old)
            if (c.value) place(c.id, std::move(c.value));
    }

    std::vector<Cell> m_cells;
    unsigned m_shift;
    size_t m_count = 0;
};

}  // namespace sitedex::record
