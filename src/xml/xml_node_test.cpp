#include "xml/xml_node.h"

#include "support/xml_tree_text.h"

#include <gtest/gtest.h>

namespace ldweave {
namespace {

using test::treeText;

std::unique_ptr<XMLElement> element(const char *tag)
{
    return std::make_unique<XMLElement>(tag);
}

// A chain a -> b -> c owned by a, as insertChildrenAfter takes it.
std::unique_ptr<XMLNode> chain(std::initializer_list<const char *> tags)
{
    auto holder = element("holder");
    for (const char *tag : tags)
        holder->appendChild(element(tag));
    return holder->takeChildren();
}

TEST(XMLNode, ChildListOperationsKeepOrderAndParents)
{
    auto root = element("r");
    root->appendChild(element("b"));
    root->prependChild(element("a"));
    root->appendChild(element("c"));
    EXPECT_EQ(treeText(root.get()), "r{a b c}");
    XMLNode *b = root->firstChild()->nextSibling();

    std::unique_ptr<XMLNode> removed = root->removeChild(b);
    ASSERT_EQ(removed.get(), b);
    EXPECT_EQ(removed->parent(), nullptr);
    EXPECT_EQ(removed->nextSibling(), nullptr);
    EXPECT_EQ(treeText(root.get()), "r{a c}");
    EXPECT_EQ(root->removeChild(b), nullptr); // no longer a child
    EXPECT_EQ(root->removeChild(root.get()), nullptr);

    std::unique_ptr<XMLNode> old = root->replaceChild(root->lastChild(), element("x"));
    EXPECT_EQ(treeText(old.get()), "c");
    EXPECT_EQ(treeText(root.get()), "r{a x}");
    root->appendChild(element("z")); // the tail pointer follows the replacement
    EXPECT_EQ(treeText(root.get()), "r{a x z}");

    root->insertChildrenAfter(root->firstChild(), chain({"1", "2"}));
    EXPECT_EQ(treeText(root.get()), "r{a 1 2 x z}");
    root->insertChildrenAfter(root->lastChild(), chain({"3"}));
    root->appendChild(element("4"));
    root->insertChildrenAfter(b, chain({"5"})); // not a child: appended
    EXPECT_EQ(treeText(root.get()), "r{a 1 2 x z 3 4 5}");

    auto empty = element("e");
    empty->insertChildrenAfter(nullptr, chain({"p", "q"}));
    empty->appendChild(element("s"));
    EXPECT_EQ(treeText(empty.get()), "e{p q s}");
    std::unique_ptr<XMLNode> children = empty->takeChildren();
    EXPECT_EQ(empty->firstChild(), nullptr);
    EXPECT_EQ(empty->lastChild(), nullptr);
    EXPECT_EQ(children->parent(), nullptr);
    empty->appendChild(std::move(children)); // a chain re-attaches whole
    EXPECT_EQ(treeText(empty.get()), "e{p q s}");
    EXPECT_EQ(empty->lastChild()->nextSibling(), nullptr);
}

TEST(XMLElement, AttributesKeepFirstPosition)
{
    XMLElement e("a");
    e.setAttribute("b", "1");
    e.setAttribute("c", "2");
    e.setAttribute("b", "3");
    EXPECT_EQ(treeText(&e), "a[b=\"3\" c=\"2\"]");
    EXPECT_TRUE(e.hasAttribute("c"));
    EXPECT_FALSE(e.hasAttribute("B"));
    EXPECT_EQ(e.attribute("missing"), nullptr);
    e.setAttribute("empty", "");
    ASSERT_NE(e.attribute("empty"), nullptr);
    EXPECT_EQ(*e.attribute("empty"), "");
    e.removeAttribute("b");
    e.removeAttribute("nothing");
    EXPECT_EQ(treeText(&e), "a[c=\"2\" empty=\"\"]");
    e.setTagName("renamed");
    EXPECT_EQ(e.tagName(), "renamed");
}

TEST(XMLElement, ManyAttributesKeepTheSameRules)
{
    // Past a handful of attributes the element looks names up through an index; the rules
    // must not change with it, also after a removal shifts the positions.
    XMLElement e("a");
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
        names.push_back("n" + std::to_string(i));
        e.setAttribute(names.back(), std::to_string(i));
    }
    e.setAttribute("n5", "x");
    e.removeAttribute("n0");
    e.setAttribute("n39", "y");
    e.setAttribute("n0", "z");
    ASSERT_EQ(e.attributes().size(), 40u);
    EXPECT_EQ(e.attributes()[4].name, "n5");
    EXPECT_EQ(e.attributes()[4].value, "x");
    EXPECT_EQ(e.attributes()[38].value, "y");
    EXPECT_EQ(e.attributes()[39].name, "n0");
    EXPECT_EQ(*e.attribute("n0"), "z");
    EXPECT_EQ(*e.attribute("n20"), "20");
}

TEST(XMLNode, DeepAndWideTreesAreFreedWithoutRecursion)
{
    // A recursive destructor would overflow the stack on either of these.
    auto deep = element("d");
    XMLNode *tip = deep.get();
    for (int i = 0; i < 1000000; ++i) {
        auto child = element("d");
        XMLNode *next = child.get();
        tip->appendChild(std::move(child));
        tip = next;
    }
    deep.reset();

    auto wide = element("w");
    for (int i = 0; i < 1000000; ++i)
        wide->appendChild(std::make_unique<XMLData>("x"));
    EXPECT_EQ(asData(wide->lastChild())->text(), "x");
    wide.reset();
}

} // namespace
} // namespace ldweave
