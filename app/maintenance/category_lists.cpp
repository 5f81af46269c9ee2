#include "app/maintenance/category_lists.h"

#include "data/dictionary.h"
#include "data/fields.h"

namespace sitedex::app::maintenance {

BrowseDescription categoryListDescription(bool forBrowse) {
    BrowseDescription d;
    d.file = &data::Categories;
    d.row = {{"CAT:CATEGORY"}, {"CAT:DESCRIPTION", 1000}};
    SortOrderDescription o;
    o.key = "CAT:K_CATEGORY";
    o.locator = "CAT:CATEGORY";
    o.distribution = Distribution::kString;
    o.distributionLength = 30;
    d.orders = {o};
    d.hasSelect = !forBrowse;  // honoured only when the pick list is opened to select
    d.format = forBrowse ? "121L|M~Category~@s30@1020L|M~Description~@s255@"
                         : "120L|M~Category~@s30@1020L~Description~@s255@";
    return d;
}

BrowseDescription categorySnippetsDescription() {
    BrowseDescription d;
    d.file = &data::CatHTML;
    d.row = {{"HTM:TYPEOFHTML"}};
    SortOrderDescription o;
    o.key = "HTM:KEYCATEGORYHTML";
    o.filter = "UPPER(HTM:Category) = UPPER(BRW2::Sort1:Reset:CAT:Category)";
    o.resetFields = {{"CAT:CATEGORY", "BRW2::Sort1:Reset:CAT:Category"}};
    o.locator = "HTM:TYPEOFHTML";
    o.distribution = Distribution::kString;
    o.distributionLength = 30;
    // The key begins with the category: a typed letter looks among this category's snippets.
    o.primeLocate = [] {
        data::setString(data::findField("HTM:CATEGORY"), data::getString(data::findField("CAT:CATEGORY")));
    };
    d.orders = {o};
    d.hasUpdate = true;
    d.format = "120L(2)~Type Of HTML~L(1)@s30@";
    return d;
}

BrowseDescription categoryLocationsDescription() {
    BrowseDescription d;
    d.file = &data::SITEDX;
    d.row = {{"URL:DESCRIPTION"}, {"URL:LOCATION"}};
    SortOrderDescription o;
    o.key = "URL:K_CATEGORY";
    o.filter = "UPPER(URL:Category) = UPPER(BRW4::Sort1:Reset:CAT:Category)";
    o.resetFields = {{"CAT:CATEGORY", "BRW4::Sort1:Reset:CAT:Category"}};
    o.locator = "URL:DESCRIPTION";
    o.distribution = Distribution::kString;
    o.distributionLength = 100;
    o.primeLocate = [] {
        data::setString(data::findField("URL:CATEGORY"), data::getString(data::findField("CAT:CATEGORY")));
    };
    d.orders = {o};
    d.hasUpdate = true;
    d.format = "120L|M~Description~@S100@240L(1)~Location~L(2)@S60@";
    return d;
}

}  // namespace sitedex::app::maintenance
