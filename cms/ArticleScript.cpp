#include "cms/ArticleScript.h"

#include "cms/ArticleStore.h"
#include "cms/ReceivedForm.h"
#include "cms/Refused.h"

namespace tx::cms {

long long ArticleScript::handle(const ReceivedForm &form)
{
    bool any = false;
    auto take = [&](const char *name) {
        const auto value = form.field(QString::fromLatin1(name));
        any = any || value.has_value();
        return value.value_or(QString());
    };
    Article a;
    a.columnId = take("columnid");
    a.issueId = take("issueid");
    a.objectType = take("objecttype");
    a.title = take("title");
    a.content = take("content");
    a.author = take("author");
    a.curPath = take("curpath");  // the image import sends none
    if (!any)
        throw Refused("no article fields in the request");
    return store_.add(a);
}

} // namespace tx::cms
