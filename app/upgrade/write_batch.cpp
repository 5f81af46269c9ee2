#include "app/upgrade/write_batch.h"

#include "data/access.h"
#include "data/error_state.h"

namespace sitedex::app::upgrade {

namespace {

// Short against the window's budget, long against a commit.
constexpr auto kBatchTime = std::chrono::milliseconds(4);
constexpr int64_t kBatchRecords = 400;

}  // namespace

WriteBatch::WriteBatch(data::FileDecl& file, bool grouped) : m_until(std::chrono::steady_clock::now() + kBatchTime) {
    m_active = grouped && !data::transactionActive() && data::logout(2, {&file}) == 0;
}

WriteBatch::WriteBatch(std::initializer_list<data::FileDecl*> files)
    : m_until(std::chrono::steady_clock::now() + kBatchTime) {
    m_active = !data::transactionActive() && data::logout(2, files) == 0;
}

WriteBatch::~WriteBatch() {
    end();
}

bool WriteBatch::due() {
    ++m_written;
    return m_written >= kBatchRecords || std::chrono::steady_clock::now() >= m_until;
}

bool WriteBatch::end() {
    if (!m_active)
        return true;
    m_active = false;
    data::clearErrorState();
    data::commit();
    return data::errorCode() == 0;
}

}  // namespace sitedex::app::upgrade
