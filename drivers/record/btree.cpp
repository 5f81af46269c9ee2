#include "drivers/record/btree.h"

#include <algorithm>

namespace sitedex::record {

namespace {

size_t lowerBound(const Node& n, std::string_view key) { return n.lowerBound(key); }

size_t childFor(const Node& n, std::string_view key) {
    // last entry <= key; the first child also takes anything smaller
    size_t lo = n.lowerBound(key, true);
    return lo == 0 ? 0 : lo - 1;
}

}  // namespace

std::string_view shortSeparator(std::string_view left, std::string_view right) {
    size_t n = std::min(left.size(), right.size());
    size_t i = 0;
    while (i < n && left[i] == right[i]) ++i;
    return right.substr(0, std::min(right.size(), i + 1));
}

Status Tree::descend(std::string_view key, Path& path) {
    path.clear();
    uint64_t id = m_pager.root();
    int expect = -1;
    while (id) {
        Node* n;
        VLX_TRY(m_pager.node(id, n));
        if (expect >= 0 && n->level != expect) return Status::damaged(__LINE__, id, "page level out of step");
        if (n->count() == 0 && !path.empty()) return Status::damaged(__LINE__, id, "empty page inside the tree");
        if (path.size() > 40) return Status::damaged(__LINE__, id, "tree too deep");
        if (n->level == 0) {
            path.push_back({n, lowerBound(*n, key)});
            return {};
        }
        size_t i = childFor(*n, key);
        path.push_back({n, i});
        expect = n->level - 1;
        id = n->children[i];
    }
    return {};
}

// The way down to the leaf for `key` and the lookup in it, where the pager may prefer to search
// that leaf on disk to caching it (Pager::searchLeaf); done tells whether the answer holds (not
// when the root is a leaf, or a seek runs past the leaf's last entry).
Status Tree::searchOnDisk(std::string_view key, LeafSeek how, std::string* outKey, std::string* data, bool& found,
                          bool& done) {
    found = done = false;
    uint64_t id = m_pager.root();
    int expect = -1;
    for (int depth = 0; id; ++depth) {
        Node* n;
        VLX_TRY(m_pager.node(id, n));
        if (expect >= 0 && n->level != expect) return Status::damaged(__LINE__, id, "page level out of step");
        if (n->count() == 0 && depth > 0) return Status::damaged(__LINE__, id, "empty page inside the tree");
        if (depth > 40) return Status::damaged(__LINE__, id, "tree too deep");
        if (n->level == 0) return {};
        uint64_t child = n->children[childFor(*n, key)];
        if (n->level > 1) {
            expect = n->level - 1;
            id = child;
            continue;
        }
        Node* leaf = nullptr;
        VLX_TRY(m_pager.searchLeaf(child, key, how, outKey, data, found, done, &leaf));
        if (!done) {
            // The leaf is cached, or worth caching now: it is searched in memory.
            if (!leaf) VLX_TRY(m_pager.node(child, leaf));
            if (leaf->level != 0) return Status::damaged(__LINE__, child, "page level out of step");
            if (leaf->count() == 0) return Status::damaged(__LINE__, child, "empty page inside the tree");
            size_t i = leaf->lowerBound(key, how == LeafSeek::kAfter);
            found = i < leaf->count() && (how != LeafSeek::kExact || leaf->key(i) == key);
            if (found) {
                if (outKey) outKey->assign(leaf->key(i));
                if (data) data->assign(leaf->data(i));
            }
            done = true;
        }
        // A seek that runs past the leaf's last entry goes on in the next leaf, the usual way.
        if (!found && how != LeafSeek::kExact) done = false;
        return {};
    }
    return {};
}

Status Tree::find(std::string_view key, std::string* data, bool& found) {
    bool done;
    VLX_TRY(searchOnDisk(key, LeafSeek::kExact, nullptr, data, found, done));
    if (done) return {};
    found = false;
    Path path;
    VLX_TRY(descend(key, path));
    if (path.empty()) return {};
    Node* leaf = path.back().node;
    size_t i = path.back().index;
    if (i < leaf->count() && leaf->key(i) == key) {
        found = true;
        if (data) data->assign(leaf->data(i));
    }
    return {};
}

Status Tree::splitIfNeeded(Path& path, size_t level) {
    // `level` indexes the path; the node there has just grown.
    Node* n = path[level].node;
    // Each entry takes at most its bytes plus five (flag and two counts): below that bound the
    // exact size need not be worked out.
    size_t bound = kTreeHeader + (n->level ? 4 : 0) * n->count() + n->liveBytes() + 5 * n->count();
    if (bound <= n->capacity) return {};
    size_t size = unpackedSize(*n);
    if (size <= n->capacity) return {};
    if (n->count() == 1) {
        if (size > kMaxPage) return Status::damaged(__LINE__, 0, "entry too large for a page");
        n->capacity = uint16_t(kMaxPage);
        return {};
    }
    size_t count = n->count();
    size_t perEntry = 5 + (n->level ? 4 : 0);
    size_t limit = n->capacity - kTreeHeader;
    std::vector<size_t> cuts;
    bool appending = level + 1 == path.size() && path[level].index + 1 == count && count > 2;
    size_t leftBytes = 0;
    for (size_t i = 0; i + 1 < count; ++i) leftBytes += n->totalLen(i) + perEntry;
    if (appending && leftBytes <= limit) {
        // An entry added after every other one of its page leaves that page full instead of half
        // empty. (New records mostly do not take this way: the table's counters follow them in
        // the same page, so their pages are cut in the middle and stay about half full, which
        // keeps a page that is searched on disk for one record short.)
        cuts.push_back(count - 1);
    } else {
        size_t total = leftBytes + n->totalLen(count - 1) + perEntry;
        size_t pieces = (total + limit - 1) / limit;
        size_t target = total / std::max<size_t>(pieces, 2);
        size_t acc = 0;
        for (size_t i = 0; i < count; ++i) {
            size_t e = n->totalLen(i) + perEntry;
            if (acc > 0 && (acc + e > limit || acc >= target)) {
                cuts.push_back(i);
                acc = 0;
            }
            acc += e;
        }
    }
    std::vector<Node*> parts;
    for (size_t c = cuts.size(); c-- > 0;) {
        Node* right = m_pager.newNode(n->level);
        n->moveTail(cuts[c], *right);
        if (unpackedSize(*right) > right->capacity) right->capacity = uint16_t(kMaxPage);
        parts.insert(parts.begin(), right);
    }
    if (unpackedSize(*n) > n->capacity) n->capacity = uint16_t(kMaxPage);
    m_pager.markDirty(n);
    Node* parent;
    if (level == 0) {
        parent = m_pager.newNode(uint8_t(n->level + 1));
        parent->insert(0, n->key(0), {});
        parent->children.push_back(n->id);
        m_pager.setRoot(parent->id);
        path.insert(path.begin(), Step{parent, 0});
        ++level;
    } else {
        parent = path[level - 1].node;
    }
    size_t at = path[level - 1].index + 1;
    Node* before = n;
    for (Node* part : parts) {
        // Between leaves the separator need only tell the two apart; above them the first entry of
        // the right part is a separator already.
        std::string_view sep =
            n->level == 0 ? shortSeparator(before->key(before->count() - 1), part->key(0)) : part->key(0);
        before = part;
        parent->insert(at, sep, {});
        parent->children.insert(parent->children.begin() + long(at), part->id);
        ++at;
    }
    m_pager.markDirty(parent);
    return splitIfNeeded(path, level - 1);
}

Status Tree::put(std::string_view key, std::string_view data) { return store(key, data, nullptr); }

Status Tree::insertNew(std::string_view key, std::string_view data, bool& existed) {
    existed = false;
    return store(key, data, &existed);
}

Status Tree::store(std::string_view key, std::string_view data, bool* existed) {
    if (key.empty() || key.size() + data.size() >= kMaxEntry)
        return Status::damaged(__LINE__, 0, "entry length out of range");
    if (m_pager.root() == 0) {
        Node* leaf = m_pager.newNode(0);
        leaf->insert(0, key, data);
        m_pager.setRoot(leaf->id);
        return {};
    }
    Path path;
    VLX_TRY(descend(key, path));
    Node* leaf = path.back().node;
    size_t i = path.back().index;
    if (existed && i < leaf->count() && leaf->key(i) == key) {
        *existed = true;
        return {};
    }
    for (auto& st : path) m_pager.markTouched(st.node->id);
    // A key below everything the tree held lowers the first separator on its way down, so that
    // every separator stays a lower bound of its child and later cuts keep the separators in order.
    for (size_t l = 0; l + 1 < path.size(); ++l) {
        Node* n = path[l].node;
        if (path[l].index == 0 && key < n->key(0)) {
            uint64_t child = n->children[0];
            n->erase(0);
            n->insert(0, key, {});
            n->children.insert(n->children.begin(), child);
            m_pager.markDirty(n);
        }
    }
    if (i < leaf->count() && leaf->key(i) == key)
        leaf->replaceData(i, data);
    else
        leaf->insert(i, key, data);
    m_pager.markDirty(leaf);
    return splitIfNeeded(path, path.size() - 1);
}

Status Tree::erase(std::string_view key, bool& found) {
    found = false;
    Path path;
    VLX_TRY(descend(key, path));
    if (path.empty()) return {};
    Node* leaf = path.back().node;
    size_t i = path.back().index;
    if (i >= leaf->count() || leaf->key(i) != key) return {};
    found = true;
    for (auto& st : path) m_pager.markTouched(st.node->id);
    leaf->erase(i);
    m_pager.markDirty(leaf);
    // Empty pages leave the tree; their parents lose the entry that led to them.
    size_t level = path.size() - 1;
    while (level > 0 && path[level].node->count() == 0) {
        Node* parent = path[level - 1].node;
        uint64_t gone = path[level].node->id;
        parent->erase(path[level - 1].index);
        m_pager.markDirty(parent);
        m_pager.freeNode(gone);
        --level;
    }
    Node* root;
    VLX_TRY(m_pager.node(m_pager.root(), root));
    if (root->count() == 0) {
        m_pager.freeNode(root->id);
        m_pager.setRoot(0);
        return {};
    }
    while (root->level > 0 && root->count() == 1) {
        uint64_t child = root->children[0];
        m_pager.freeNode(root->id);
        m_pager.setRoot(child);
        VLX_TRY(m_pager.node(child, root));
    }
    return {};
}

// A seek never goes back: an answer before the key sought (pages out of order after damage) would
// make every caller that steps from answer to answer go round for ever.
Status Tree::seekForward(std::string_view key, bool after, std::string& outKey, std::string* outData, bool& found,
                         Spot* spot) {
    VLX_TRY(seekForwardOnce(key, after, outKey, outData, found, spot));
    if (found && (after ? std::string_view(outKey) <= key : std::string_view(outKey) < key))
        return Status::damaged(__LINE__, spot ? spot->leaf : 0, "entries out of order across pages");
    return {};
}

Status Tree::seekBackward(std::string_view key, bool before, std::string& outKey, std::string* outData,
                          bool& found, Spot* spot) {
    VLX_TRY(seekBackwardOnce(key, before, outKey, outData, found, spot));
    if (found && (before ? std::string_view(outKey) >= key : std::string_view(outKey) > key))
        return Status::damaged(__LINE__, spot ? spot->leaf : 0, "entries out of order across pages");
    return {};
}

Status Tree::seekForwardOnce(std::string_view key, bool after, std::string& outKey, std::string* outData, bool& found,
                             Spot* spot) {
    if (!spot) {
        bool done;
        VLX_TRY(searchOnDisk(key, after ? LeafSeek::kAfter : LeafSeek::kAtLeast, &outKey, outData, found, done));
        if (done) return {};
    }
    found = false;
    Path path;
    VLX_TRY(descend(key, path));
    if (path.empty()) return {};
    size_t i = path.back().index;
    Node* leaf = path.back().node;
    if (after && i < leaf->count() && leaf->key(i) == key) ++i;
    while (i >= leaf->count()) {
        // climb to the first ancestor with a next child, then down its leftmost edge
        size_t level = path.size() - 1;
        while (level > 0 && path[level - 1].index + 1 >= path[level - 1].node->count()) --level;
        if (level == 0) return {};
        path.resize(level);
        path.back().index++;
        uint64_t id = path.back().node->children[path.back().index];
        for (;;) {
            Node* n;
            VLX_TRY(m_pager.node(id, n));
            if (n->count() == 0) return Status::damaged(__LINE__, id, "empty page inside the tree");
            // Each step goes one level down: a page of another level (a child offset that points
            // back up, say) would lead round in a circle.
            if (n->level + 1 != path.back().node->level) return Status::damaged(__LINE__, id, "page level out of step");
            path.push_back({n, 0});
            if (n->level == 0) break;
            id = n->children[0];
        }
        leaf = path.back().node;
        i = 0;
    }
    found = true;
    outKey.assign(leaf->key(i));
    if (outData) outData->assign(leaf->data(i));
    if (spot) *spot = {leaf->id, i};
    return {};
}

Status Tree::seekBackwardOnce(std::string_view key, bool before, std::string& outKey, std::string* outData,
                              bool& found, Spot* spot) {
    found = false;
    Path path;
    VLX_TRY(descend(key, path));
    if (path.empty()) return {};
    Node* leaf = path.back().node;
    size_t i = path.back().index;  // first entry >= key
    long pick;
    if (!before && i < leaf->count() && leaf->key(i) == key)
        pick = long(i);
    else
        pick = long(i) - 1;
    while (pick < 0) {
        size_t level = path.size() - 1;
        while (level > 0 && path[level - 1].index == 0) --level;
        if (level == 0) return {};
        path.resize(level);
        path.back().index--;
        uint64_t id = path.back().node->children[path.back().index];
        for (;;) {
            Node* n;
            VLX_TRY(m_pager.node(id, n));
            if (n->count() == 0) return Status::damaged(__LINE__, id, "empty page inside the tree");
            if (n->level + 1 != path.back().node->level) return Status::damaged(__LINE__, id, "page level out of step");
            path.push_back({n, n->count() - 1});
            if (n->level == 0) break;
            id = n->children[n->count() - 1];
        }
        leaf = path.back().node;
        pick = long(leaf->count()) - 1;
    }
    found = true;
    outKey.assign(leaf->key(size_t(pick)));
    if (outData) outData->assign(leaf->data(size_t(pick)));
    if (spot) *spot = {leaf->id, size_t(pick)};
    return {};
}

Status Tree::check(CheckResult& out, const std::function<Status(std::string_view, std::string_view)>& visit) {
    out = {};
    if (m_pager.root() == 0) return {};
    std::string last;
    return checkNode(m_pager.root(), -1, {}, {}, false, last, out, visit);
}

Status Tree::checkNode(uint64_t id, int expectLevel, std::string_view low, std::string_view high, bool hasHigh,
                       std::string& lastKey, CheckResult& out,
                       const std::function<Status(std::string_view, std::string_view)>& visit) {
    Node* n;
    VLX_TRY(m_pager.node(id, n));
    if (expectLevel >= 0 && n->level != expectLevel) return Status::damaged(__LINE__, id, "page level out of step");
    if (n->count() == 0) return Status::damaged(__LINE__, id, "empty page inside the tree");
    uint32_t units;
    VLX_TRY(m_pager.pageUnits(uint32_t(id), units));
    out.extents.emplace_back(uint32_t(id), units);
    ++out.pages;
    if (out.pages > (uint64_t(m_pager.allocEnd()) / kUnit) + 1) return Status::damaged(__LINE__, id, "tree has a cycle");
    // Copy what the walk needs: the cache may let the page go while the children are checked.
    if (n->level == 0) {
        for (size_t i = 0; i < n->count(); ++i) {
            std::string_view k = n->key(i);
            if ((!low.empty() && k < low) || (hasHigh && k >= high))
                return Status::damaged(__LINE__, id, "entry outside the range its parent gives");
            if (out.entries > 0 && k <= std::string_view(lastKey))
                return Status::damaged(__LINE__, id, "entries out of order across pages");
            lastKey.assign(k);
            ++out.entries;
            if (visit) {
                Status s = visit(k, n->data(i));
                if (!s.ok()) {
                    if (s.code == kDamaged && s.offset == 0) s.offset = id;
                    return s;
                }
            }
        }
        (void)m_pager.trimCache();  // reading: only clean pages go
        return {};
    }
    std::vector<std::string> seps;
    for (size_t i = 0; i < n->count(); ++i) seps.emplace_back(n->key(i));
    std::vector<uint64_t> children = n->children;
    int level = n->level;
    for (size_t i = 0; i < seps.size(); ++i) {
        if ((!low.empty() && seps[i] < low) || (hasHigh && seps[i] >= high))
            return Status::damaged(__LINE__, id, "separator outside the range its parent gives");
        std::string_view childLow = seps[i];
        bool childHasHigh = i + 1 < seps.size() || hasHigh;
        std::string_view childHigh = i + 1 < seps.size() ? std::string_view(seps[i + 1]) : high;
        VLX_TRY(checkNode(children[i], level - 1, childLow, childHigh, childHasHigh, lastKey, out, visit));
    }
    return {};
}

}  // namespace sitedex::record
