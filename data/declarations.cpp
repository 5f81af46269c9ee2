#include "data/declarations.h"

#include "data/access.h"
#include "data/driver.h"
#include "data/driver_registry.h"
#include "runtime/thread_state.h"

#include <algorithm>
#include <cstring>

namespace sitedex::data {

namespace {

std::vector<FileDecl*>& registry() {
    static std::vector<FileDecl*> files;
    return files;
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// "PRE:NAME" matches "NAME" too, as expressions and windows name fields both ways.
bool matchesDeclared(std::string_view declared, std::string_view wanted) {
    if (sameName(declared, wanted)) return true;
    size_t colon = declared.find(':');
    return wanted.find(':') == std::string_view::npos && colon != std::string_view::npos &&
           sameName(declared.substr(colon + 1), wanted);
}

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

FileSlot::FileSlot() = default;
FileSlot::~FileSlot() = default;
FileSlot::FileSlot(FileSlot&&) noexcept = default;
FileSlot& FileSlot::operator=(FileSlot&&) noexcept = default;

FileDecl::FileDecl(FileSpec layout) : m_spec(std::move(layout)) {
    int n = 0;
    for (KeyDecl& k : m_spec.keys) {
        k.file = this;
        k.number = ++n;
    }
    m_slots.resize(runtime::kThreadSlots + 1);
    registry().push_back(this);
    std::vector<char> probe(m_spec.recordSize);
    clearRecord(probe.data());
    m_clearsToBlanks = std::all_of(probe.begin(), probe.end(), [](char c) { return c == ' '; });
}

FileDecl::~FileDecl() {
    forgetFile(*this);
    auto& r = registry();
    for (auto it = r.begin(); it != r.end(); ++it)
        if (*it == this) {
            r.erase(it);
            break;
        }
}

const std::vector<FileDecl*>& FileDecl::all() { return registry(); }

std::string FileDecl::name() const {
    std::string n;
    if (m_spec.name.variable) {
        n = *m_spec.name.variable;
        if (m_spec.name.variableLength && n.size() > m_spec.name.variableLength) n.resize(m_spec.name.variableLength);
    } else {
        n = std::string(m_spec.name.fixed);
    }
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return n;
}

const FieldDecl* FileDecl::findField(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (const FieldDecl& f : m_spec.fields)
        if (!f.name.empty() && matchesDeclared(f.name, name)) return &f;
    return nullptr;
}

int FileDecl::findMemo(std::string_view name) const {
    if (name.empty()) return -1;
    for (size_t i = 0; i < m_spec.memos.size(); ++i)
        if (matchesDeclared(m_spec.memos[i].name, name)) return int(i);
    return -1;
}

KeyDecl* FileDecl::findKey(std::string_view name) {
    if (name.empty()) return nullptr;
    for (KeyDecl& k : m_spec.keys)
        if (matchesDeclared(k.name, name)) return &k;
    return nullptr;
}

void FileDecl::initSlot(FileSlot& s) const {
    s.record.assign(m_spec.recordSize, 0);
    clearRecord(s.record.data());
    s.memos.assign(m_spec.memos.size(), std::string());
    s.keyFlags.assign(m_spec.keys.size(), 0);
}

FileSlot& FileDecl::slotOf(int threadNumber) {
    size_t index = perThread() ? size_t(threadNumber) : 0;
    auto& p = m_slots.at(index);
    if (!p) {
        p = std::make_unique<FileSlot>();
        initSlot(*p);
    }
    return *p;
}

const DriverDescriptor* FileDecl::lookUpDriver() {
    m_driver = findDriver(m_spec.driver);
    m_driverGeneration = driverRegistryGeneration();
    return m_driver;
}

bool FileDecl::hasSlot(int threadNumber) const {
    size_t index = perThread() ? size_t(threadNumber) : 0;
    return index < m_slots.size() && m_slots[index] != nullptr;
}

void FileDecl::dropSlot(int threadNumber) {
    if (!perThread()) return;
    if (size_t(threadNumber) < m_slots.size()) m_slots[size_t(threadNumber)].reset();
}

void FileDecl::clearRecord(char* buffer) const {
    std::memset(buffer, 0, m_spec.recordSize);
    // In declaration order a group comes before its members, so members overwrite the group's blanks.
    for (const FieldDecl& f : m_spec.fields) {
        if (f.offset >= m_spec.recordSize) continue;
        uint64_t span = uint64_t(f.size) * (f.type == kTypeGroup ? 1 : f.elements);
        uint32_t n = uint32_t(std::min<uint64_t>(span, m_spec.recordSize - f.offset));
        std::memset(buffer + f.offset, (f.type == kTypeString || f.type == kTypeGroup) ? ' ' : 0, n);
    }
}

void FileDecl::clear() {
    FileSlot& s = slot();
    clearRecord(s.record.data());
    for (std::string& m : s.memos) m.clear();
}

FieldRef findField(std::string_view fullName) {
    size_t colon = fullName.find(':');
    if (colon == std::string_view::npos) return {};
    std::string_view prefix = fullName.substr(0, colon);
    for (FileDecl* f : FileDecl::all()) {
        if (!sameName(f->prefix(), prefix)) continue;
        if (const FieldDecl* fd = f->findField(fullName)) return FieldRef{f, fd, -1};
        int m = f->findMemo(fullName);
        if (m >= 0) return FieldRef{f, nullptr, m};
    }
    return {};
}

}  // namespace sitedex::data
