#include "app/clipboard/clipboard_capture.h"

#include "runtime/text_decoding.h"
#include "app/upgrade/write_batch.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "runtime/dates.h"
#include "runtime/hooks.h"
#include "runtime/pictures.h"

namespace sitedex::app::clipboard {

namespace {

void setField(const char* name, std::string_view value) {
    data::setString(data::findField(name), value);
}

// Step 8: the category is made when the Categories file does not have it.
void makeCategory(const std::string& category) {
    data::Categories.clear();
    setField("CAT:CATEGORY", category);
    const int32_t e = data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY"));
    if (e == data::kErrRecordNotFound || e == data::kErrRecordNotAvailable) {
        data::Categories.clear();
        setField("CAT:CATEGORY", category);
        data::add(data::Categories);
    }
}

bool alreadyPresent(const std::string& location) {
    // The address key ignores letter case, so a read by key finds the same address in any case.
    data::SITEDX.clear();
    setField("URL:LOCATION", location);
    return data::get(data::SITEDX, *data::SITEDX.findKey("URL:K_LOCATION")) == 0;
}

}  // namespace

ClipboardCapture::ClipboardCapture(std::string text, std::string html) {
    if (!html.empty())
        m_scanners[0] = std::make_unique<ClipboardScanner>(runtime::toUtf8(html), Flavour::kHtml);
    if (!text.empty())
        m_scanners[1] = std::make_unique<ClipboardScanner>(std::move(text), Flavour::kPlainText);
}

bool ClipboardCapture::step() {
    std::string failure;
    bool more = true;
    const int addedBefore = m_added;
    {
        upgrade::WriteBatch batch({&data::SITEDX, &data::Categories});
        for (;;) {
            ScannedLocation found;
            if (m_cancelled || m_current >= std::size(m_scanners)) {
                more = false;
                break;
            }
            if (!m_scanners[m_current] || !m_scanners[m_current]->next(found)) {
                ++m_current;
                continue;
            }
            capture(found, failure);
            if (!failure.empty() || batch.due())
                break;
        }
        if (!batch.end()) {
            failure = data::errorText() + " adding location";
            m_added = addedBefore;
        }
    }
    // The question waits for the user: only once the batch is written.
    if (!failure.empty() && runtime::messageBox(failure, "Monitor Clipboard", runtime::kIconHand,
                                                runtime::kButtonAbort | runtime::kButtonIgnore,
                                                runtime::kButtonIgnore) == runtime::kButtonAbort)
        runtime::haltProgram(failure);
    return more;
}

int ClipboardCapture::percent() const {
    int sum = 0, parts = 0;
    for (const auto& s : m_scanners)
        if (s) {
            sum += s->percent();
            ++parts;
        }
    return parts == 0 ? 100 : sum / parts;
}

void ClipboardCapture::capture(const ScannedLocation& found, std::string& failure) {
    makeCategory(found.category);
    if (found.inPageLink)
        return;
    std::string description = found.description;
    if (description.empty())
        description = "Added from clipboard " + runtime::format("@d3", double(runtime::today())) + " " +
                      runtime::format("@t3", double(runtime::clockNow())) + " " + found.location;
    if (alreadyPresent(found.location))
        return;

    data::SITEDX.clear();
    setField("URL:LOCATION", found.location);
    setField("URL:DESCRIPTION", description);
    setField("URL:CATEGORY", found.category);
    setField("URL:KEYWORD", found.keyword);
    data::setMemo(data::SITEDX, 0, found.siteInfo);
    const int32_t e = data::add(data::SITEDX);
    if (e == data::kErrDuplicateKey)
        return;
    if (e != 0) {
        failure = data::errorText() + " adding location";
        return;
    }
    ++m_added;
    m_lastAdded = data::getString(data::findField("URL:LOCATION"));
}

}  // namespace sitedex::app::clipboard
