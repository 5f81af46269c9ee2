#include "drivers/record/tree_loader.h"

#include "drivers/record/btree.h"

namespace sitedex::record {

Status TreeLoader::add(std::string_view key, std::string_view data) {
    if (key.empty() || key.size() + data.size() >= kMaxEntry)
        return Status::damaged(__LINE__, 0, "entry length out of range");
    if (!m_last.empty() && std::string_view(m_last) >= key)
        return Status::damaged(__LINE__, 0, "entries out of order while packing");
    m_last.assign(key);
    return append(0, key, data, 0);
}

Status TreeLoader::finish(uint64_t& root) {
    root = 0;
    for (size_t i = 0; i < m_levels.size(); ++i) {
        if (i + 1 == m_levels.size() && m_levels[i].closed == 0) {
            root = m_levels[i].node->id;
            break;
        }
        VLX_TRY(close(i));
    }
    return {};
}

Status TreeLoader::append(size_t level, std::string_view key, std::string_view data, uint64_t child) {
    if (m_levels.size() <= level) m_levels.emplace_back();
    Level* l = &m_levels[level];
    if (!l->node) open(*l, level);
    std::string entry(key);
    entry.append(data);
    bool first = l->node->count() == 0;
    size_t cost = entryCost(l->prev, l->prevKlen, entry, key.size(), first) + (level ? 4 : 0);
    if (!first && l->size + cost > kNodeCapacity) {
        VLX_TRY(close(level));
        l = &m_levels[level];
        open(*l, level);
        cost = entryCost({}, 0, entry, key.size(), true) + (level ? 4 : 0);
    }
    Node* n = l->node;
    n->insert(n->count(), key, data);
    if (level) n->children.push_back(child);
    l->size += cost;
    if (l->size > n->capacity) n->capacity = uint16_t(kMaxPage);  // one entry larger than a page
    l->prev = std::move(entry);
    l->prevKlen = key.size();
    return {};
}

void TreeLoader::open(Level& l, size_t level) {
    l.node = m_pager.newNode(uint8_t(level));
    l.size = kTreeHeader;
    l.prev.clear();
    l.prevKlen = 0;
}

Status TreeLoader::close(size_t level) {
    Node* n = m_levels[level].node;
    // Above the leaves only as much of the first key as tells it from the leaf before.
    std::string first(level == 0 && m_leafClosed ? shortSeparator(m_lastLeafKey, n->key(0)) : n->key(0));
    if (level == 0) {
        m_lastLeafKey.assign(n->key(n->count() - 1));
        m_leafClosed = true;
    }
    uint64_t id = n->id;
    ++m_levels[level].closed;
    m_levels[level].node = nullptr;
    // Leaves are done with: the pager may keep them packed from here on.
    if (level == 0) VLX_TRY(m_pager.trimCache());
    return append(level + 1, first, {}, id);
}

}  // namespace sitedex::record
