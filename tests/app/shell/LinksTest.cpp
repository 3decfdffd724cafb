#include <thread>

#include "ShellFixture.h"
#include "shell/CompanyLink.h"

namespace shelltest {
namespace {

using corvane::CompanyLink;
using corvane::CompanyModel;

CompanyModel company(std::string contact, std::string stagingContact, std::string doc = "",
                     std::string stagingDoc = "") {
  CompanyModel model;
  model.data.contactUrl = std::move(contact);
  model.data.stagingContactUrl = std::move(stagingContact);
  model.data.docUrl = std::move(doc);
  model.data.stagingDocUrl = std::move(stagingDoc);
  return model;
}

TEST(CompanyLink, CustomerIdentifierBecomesAnEncodedQueryItem) {
  struct Row {
    const char* link;
    std::string customer;
    const char* expected;
  };
  const Row rows[] = {
      {"https://k.example/contact", "CUST0042", "https://k.example/contact?customer=CUST0042"},
      {"https://k.example/contact?lang=en", "CUST0042",
       "https://k.example/contact?lang=en&customer=CUST0042"},
      {"https://k.example/contact", "", "https://k.example/contact"},
      {"https://k.example/contact", std::string("  \0\0", 4), "https://k.example/contact"},
      {"https://k.example/contact", std::string("AB 12&x=1#\0\0", 12),
       "https://k.example/contact?customer=AB%2012%26x%3D1%23"},
      {"https://k.example/c?", "7", "https://k.example/c?customer=7"},
      {"https://k.example/c#top", "7", "https://k.example/c?customer=7#top"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    EXPECT_EQ(CompanyLink::withCustomer(row.link, row.customer), row.expected);
  }
}

TEST(CompanyLink, PageLinkByStaging) {
  auto record = std::optional<CompanyModel>(company("https://c", "https://sc", "https://d", ""));
  using Page = CompanyLink::Page;
  EXPECT_EQ(CompanyLink::pageLink(record, Page::contact, false), "https://c");
  EXPECT_EQ(CompanyLink::pageLink(record, Page::contact, true), "https://sc");
  EXPECT_EQ(CompanyLink::pageLink(record, Page::manual, false), "https://d");
  EXPECT_EQ(CompanyLink::pageLink(record, Page::manual, true), std::nullopt);
  EXPECT_EQ(CompanyLink::pageLink(std::nullopt, Page::contact, false), std::nullopt);
}

class AppDelegateLinks : public ShellFixture {
 protected:
  std::vector<std::string> opened() const {
    std::vector<std::string> urls;
    for (const auto& argv : spawned) {
      EXPECT_EQ(argv.size(), 2u);
      EXPECT_EQ(argv.front(), "xdg-open");
      urls.push_back(argv.back());
    }
    return urls;
  }
};

TEST_F(AppDelegateLinks, ContactAndManualPagesOpenByStagingWithTheCustomer) {
  auto env = delegateEnvironment();
  std::thread::id readOn;
  env.customerIdentifier = [this, &readOn] {
    readOn = std::this_thread::get_id();
    return customer;
  };
  corvane::AppDelegate delegate(*camera, env);

  // No company record yet: nothing happens, nothing is read from the camera.
  delegate.onClickIssueReport();
  settle();
  EXPECT_TRUE(spawned.empty());
  EXPECT_EQ(readOn, std::thread::id());

  delegate.setCompanyModel(
      company("", "https://staging.k.example/contact?src=app", "https://k.example/manual", ""));
  customer = "CUST 7";
  delegate.onClickIssueReport();  // empty production link: nothing
  settle();
  EXPECT_TRUE(spawned.empty());

  config->isStaging = true;
  delegate.onClickIssueReport();
  settle();
  EXPECT_NE(readOn, std::this_thread::get_id());  // the USB read stays off the main thread
  delegate.onClickManual();                       // empty staging manual link: nothing
  settle();
  config->isStaging = false;
  customer.clear();
  delegate.onClickManual();
  settle();
  EXPECT_EQ(opened(),
            (std::vector<std::string>{"https://staging.k.example/contact?src=app&customer=CUST%207",
                                      "https://k.example/manual"}));
}

TEST_F(AppDelegateLinks, OnlyWebLinksAreOpened) {
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  for (const char* link : {"file:///etc/passwd", "javascript:alert(1)", "-h", "ftp://k.example/x",
                           "https://k.example/a b"}) {
    SCOPED_TRACE(link);
    delegate.setCompanyModel(company(link, ""));
    delegate.onClickIssueReport();
    settle();
    EXPECT_TRUE(spawned.empty());
  }
  EXPECT_TRUE(logged("Cannot open file:///etc/passwd"));
  delegate.setCompanyModel(company("HTTP://k.example/contact", ""));
  delegate.onClickIssueReport();
  settle();
  EXPECT_EQ(opened(), std::vector<std::string>{"HTTP://k.example/contact"});
}

// Report an Issue on a desktop where nothing opens web addresses: the user is told which page
// did not open and why, and the day log has it.
TEST_F(AppDelegateLinks, AContactPageNothingOpenedIsToldWithItsAddress) {
  std::function<void(int)> ended;
  platform::Workspace::Environment opener;
  opener.spawnWatched = [&](const std::vector<std::string>&, std::function<void(int)> watch) {
    ended = std::move(watch);
    return true;
  };
  platform::Workspace noHandler(opener);
  auto env = delegateEnvironment();
  env.workspace = &noHandler;
  std::vector<std::string> told;
  env.alert = [&](const std::string& message) { told.push_back(message); };
  corvane::AppDelegate delegate(*camera, env);
  delegate.setCompanyModel(company("https://k.example/contact", ""));
  delegate.onClickIssueReport();
  settle();
  ASSERT_TRUE(ended) << "the opener was started";
  EXPECT_TRUE(told.empty());
  std::thread([&] { ended(3); }).join();
  settle();
  const std::string why = platform::Workspace::openerFailure(3);
  EXPECT_EQ(told, std::vector<std::string>{"The page https://k.example/contact could not be "
                                           "opened: " +
                                           why});
  EXPECT_TRUE(logged("Cannot open https://k.example/contact: " + why));
}

}  // namespace
}  // namespace shelltest
