#include "src/accounts/account_store.h"

#include <gtest/gtest.h>

#include "support/expect_throw_msg.h"
#include "support/test_support.h"
#include "utils/blake2.h"

namespace nc {
namespace {

class AccountStore : public ::testing::Test {
 protected:
  AccountStore() : database(Database::open((dir.path() / "db").string())) { initAccountTable(database); }

  Database& db() { return database; }

  test::TempDir dir;
  Database database;
};

bool isUpperHex(const std::string& text) { return text.find_first_not_of("0123456789ABCDEF") == std::string::npos; }

TEST_F(AccountStore, storedTextShapes) {
  createAccount(db(), "bob", "pw");
  const Account bob = getAccount(db(), "bob");
  EXPECT_EQ(2, bob.id);
  EXPECT_EQ("bob", bob.username);
  EXPECT_EQ(32u, bob.password_hash.size());
  EXPECT_EQ(24u, bob.password_salt.size());
  EXPECT_TRUE(isUpperHex(bob.password_hash));
  EXPECT_TRUE(isUpperHex(bob.password_salt));
  // The hash is keyed BLAKE2b-128 of the password with the salt as key.
  EXPECT_EQ(bob.password_hash, hex(*blake2b(*newBuffer("pw"), decodeHex(bob.password_salt).get())));
}

TEST_F(AccountStore, samePasswordGetsDifferentSalts) {
  createAccount(db(), "bob", "qzvtk");
  const Account admin = getAccount(db(), "admin");
  const Account bob = getAccount(db(), "bob");
  EXPECT_NE(admin.password_salt, bob.password_salt);
  EXPECT_NE(admin.password_hash, bob.password_hash);
  EXPECT_THROW_MSG(createAccount(db(), "bob", "other"), DbError, "UNIQUE constraint failed: account.username");
}

TEST_F(AccountStore, checkingPasswords) {
  EXPECT_TRUE(checkAccountPassword(db(), "admin", "qzvtk"));
  EXPECT_FALSE(checkAccountPassword(db(), "admin", "qzvtK"));
  EXPECT_FALSE(checkAccountPassword(db(), "admin", "qzvtk "));
  EXPECT_FALSE(checkAccountPassword(db(), "admin", ""));
  EXPECT_THROW_MSG(checkAccountPassword(db(), "Admin", "qzvtk"), UserNotFoundError, "cannot find user Admin");
  EXPECT_THROW_MSG(getAccount(db(), "nobody"), UserNotFoundError, "cannot find user nobody");
  createAccount(db(), "empty", "");
  EXPECT_TRUE(checkAccountPassword(db(), "empty", ""));
  EXPECT_FALSE(checkAccountPassword(db(), "empty", std::string(1, '\0')));
}

TEST_F(AccountStore, onlyTheExactStoredHashMatches) {
  const Account admin = getAccount(db(), "admin");
  std::string lower = admin.password_hash;
  for (char& c : lower) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  ASSERT_NE(lower, admin.password_hash) << "hash without letters; rerun";
  for (const std::string& stored : {lower, admin.password_hash.substr(0, 31), admin.password_hash + "0"}) {
    exec(db(), "update account set password_hash = ? where username = 'admin'", {stored});
    EXPECT_FALSE(checkAccountPassword(db(), "admin", "qzvtk")) << stored;
  }
}

TEST_F(AccountStore, updatingAPassword) {
  const Account before = getAccount(db(), "admin");
  EXPECT_THROW_MSG(updateAccountPassword(db(), "admin", "wrong", "new"), HashNotMatchError,
                   "old password hashes do not match");
  const Account unchanged = getAccount(db(), "admin");
  EXPECT_EQ(before.password_hash, unchanged.password_hash);
  EXPECT_EQ(before.password_salt, unchanged.password_salt);
  EXPECT_THROW_MSG(updateAccountPassword(db(), "ADMIN", "qzvtk", "new"), UserNotFoundError, "cannot find user ADMIN");

  updateAccountPassword(db(), "admin", "qzvtk", "new");
  EXPECT_FALSE(checkAccountPassword(db(), "admin", "qzvtk"));
  EXPECT_TRUE(checkAccountPassword(db(), "admin", "new"));
  const Account after = getAccount(db(), "admin");
  EXPECT_NE(before.password_salt, after.password_salt);

  updateAccountPassword(db(), "admin", "new", "new");
  EXPECT_NE(after.password_salt, getAccount(db(), "admin").password_salt);
  EXPECT_TRUE(checkAccountPassword(db(), "admin", "new"));
}

TEST_F(AccountStore, userNamesAreTakenLiterally) {
  const std::vector<std::string> names = {"O'Brien", "who?", std::string("admin\0x", 7), "admin' or '1'='1"};
  for (const std::string& name : names) {
    createAccount(db(), name, name + "-pw");
  }
  for (const std::string& name : names) {
    EXPECT_EQ(name, getAccount(db(), name).username);
    EXPECT_TRUE(checkAccountPassword(db(), name, name + "-pw"));
  }
  updateAccountPassword(db(), names[2], names[2] + "-pw", "changed");
  EXPECT_TRUE(checkAccountPassword(db(), "admin", "qzvtk"));
  EXPECT_TRUE(checkAccountPassword(db(), names[2], "changed"));
  EXPECT_THROW(getAccount(db(), std::string("admin\0", 6)), UserNotFoundError);
}

}  // namespace
}  // namespace nc
