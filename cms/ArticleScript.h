#pragma once
// The article script: keeps the article form that the import controls post.
namespace tx::cms {

class ArticleStore;
class ReceivedForm;

class ArticleScript {
public:
    explicit ArticleScript(ArticleStore &store) : store_(store) {}
    // The new article's id. Throws Refused when the form holds no article field.
    long long handle(const ReceivedForm &form);

private:
    ArticleStore &store_;
};

} // namespace tx::cms
