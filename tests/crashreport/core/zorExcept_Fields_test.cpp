#include "crashreport/core/zorExcept_Fields.h"

#include <gtest/gtest.h>

#include "crashreport/core/zorExcept_Exception.h"
#include "tests/crashreport/ZorSettingsSupport.h"

namespace {

std::vector<std::u16string> Names(const IZXFields& fields)
{
    std::vector<std::u16string> names;
    for (int32_t i = 0; i < fields.FieldCount(); ++i)
        names.push_back(fields.FieldNameAt(i));
    return names;
}

// A field list that belongs to a failure, so that its change steps show as
// advances of the failure's change stamp.
// Its report is wanted, so that the list takes changes.
struct TOwnedFields {
    static std::shared_ptr<TIZXException> WantingReport()
    {
        std::shared_ptr<TIZXException> exception = TIZXException::Create();
        exception->SetWantReport(true);
        return exception;
    }
    TSlotsGuard Slots;
    std::shared_ptr<TIZXException> Exception = WantingReport();
    std::shared_ptr<IZXFields> Fields = Exception->HeaderFields();
    uint64_t Changes() const { return Exception->ChangeStamp(); }
};

TEST(ZorFields, TheInsertIndexFollowsInsertsAndRemovals)
{
    auto fields = TIZXFields::CreateOpen();
    for (const char16_t* name : {u"a", u"b", u"c", u"d"})
        fields->PutField(name, u"1");
    fields->SetInsertIndex(3);
    fields->InsertFieldAt(1, u"new", u"x");
    EXPECT_EQ(fields->InsertIndex(), 4);
    fields->RemoveFieldAt(0);
    EXPECT_EQ(fields->InsertIndex(), 3);
    // A field not yet there goes to the insert index.
    fields->PutField(u"put", u"y");
    EXPECT_EQ(Names(*fields), (std::vector<std::u16string>{u"new", u"b", u"c", u"put", u"d"}));
    EXPECT_EQ(fields->InsertIndex(), 4);
    // At 0 or below, new fields go to the end; indexes are clamped.
    fields->SetInsertIndex(0);
    fields->PutField(u"last", u"z");
    fields->InsertFieldAt(-5, u"first", u"z");
    fields->InsertFieldAt(99, u"end", u"z");
    EXPECT_EQ(Names(*fields),
              (std::vector<std::u16string>{u"first", u"new", u"b", u"c", u"put", u"d", u"last", u"end"}));
}

TEST(ZorFields, PuttingAndInserting)
{
    TOwnedFields owned;
    IZXFields& fields = *owned.Fields;
    fields.PutField(u"Name", u"  Ada \r\n");
    EXPECT_EQ(fields.FieldContent(u"name"), u"Ada");
    EXPECT_EQ(fields.IndexOfField(u"NAME"), 0);
    EXPECT_EQ(fields.FieldContent(u"missing"), u"");
    EXPECT_EQ(fields.FieldNameAt(5), u"");

    // The same content again is no change; a case-only rename is one.
    uint64_t before = owned.Changes();
    fields.PutField(u"Name", u"Ada");
    EXPECT_EQ(owned.Changes(), before);
    fields.PutField(u"NAME", u"Ada");
    EXPECT_EQ(owned.Changes(), before + 1);
    EXPECT_EQ(fields.FieldNameAt(0), u"NAME");

    // Blank content removes the field.
    fields.PutField(u"Other", u"x");
    fields.StoreField(u"name", u" \t ");
    EXPECT_EQ(Names(fields), (std::vector<std::u16string>{u"Other"}));
    fields.PutField(u"gone", u"");
    EXPECT_EQ(fields.FieldCount(), 1);

    // Inserting a name that is there moves it, as one change.
    fields.PutField(u"b", u"2");
    fields.PutField(u"c", u"3");
    before = owned.Changes();
    fields.InsertFieldAt(3, u"OTHER", u"x2");
    EXPECT_EQ(Names(fields), (std::vector<std::u16string>{u"b", u"c", u"OTHER"}));
    EXPECT_EQ(owned.Changes(), before + 1);
    fields.InsertFieldAt(2, u"other", u"x2"); // in place with its content
    EXPECT_EQ(owned.Changes(), before + 1);
    fields.InsertFieldAt(0, u"blank", u"  ");
    EXPECT_EQ(fields.FieldCount(), 3);

    // Renames compare with case; out of range nothing happens.
    before = owned.Changes();
    fields.RenameFieldAt(0, u"b");
    fields.RenameFieldAt(7, u"x");
    EXPECT_EQ(owned.Changes(), before);
    fields.RenameFieldAt(0, u"B");
    EXPECT_EQ(fields.FieldNameAt(0), u"B");
    EXPECT_EQ(owned.Changes(), before + 1);
    fields.RemoveField(u"c");
    fields.RemoveFieldAt(9);
    EXPECT_EQ(Names(fields), (std::vector<std::u16string>{u"B", u"OTHER"}));
}

TEST(ZorFields, AListWhoseChangesWereNeverAllowed)
{
    TIZXFields fields;
    fields.PutField(u"a", u"1");
    fields.InsertFieldAt(0, u"b", u"2");
    EXPECT_EQ(fields.FieldCount(), 0);
    fields.AllowChanges();
    fields.PutField(u"a", u"1");
    EXPECT_EQ(fields.FieldCount(), 1);
}

TEST(ZorFields, CopiesHaveNoOwners)
{
    TOwnedFields owned;
    owned.Fields->PutField(u"x", u"1");
    owned.Fields->PutField(u"y", u"2");
    const auto copy = owned.Fields->CopyFields();
    EXPECT_EQ(Names(*copy), (std::vector<std::u16string>{u"x", u"y"}));
    const uint64_t before = owned.Changes();
    copy->PutField(u"z", u"3");
    copy->RemoveField(u"x");
    EXPECT_EQ(owned.Changes(), before);
    EXPECT_EQ(owned.Fields->FieldCount(), 2);
}

TEST(ZorFields, LockingHoldsTheFailuresNotification)
{
    TOwnedFields owned;
    const uint64_t before = owned.Changes();
    owned.Fields->LockFields();
    owned.Fields->PutField(u"a", u"1");
    owned.Fields->LockFields();
    owned.Fields->PutField(u"b", u"2");
    owned.Fields->UnlockFields();
    EXPECT_EQ(owned.Changes(), before);
    EXPECT_TRUE(owned.Exception->ReportStale());
    owned.Fields->UnlockFields();
    EXPECT_EQ(owned.Changes(), before + 1);
    EXPECT_FALSE(owned.Exception->ReportStale());
}

TEST(ZorAttachments, DefaultsAndRemoval)
{
    const auto list = NewAttachmentList();
    list->AddAttachment(u"", u"x", u"", u"");
    EXPECT_EQ(list->AttachmentCount(), 0);
    list->AddAttachment(u"/logs/run.txt", u"", u"", u"");
    list->AddAttachment(u"C:\\logs\\archive.tar.gz", u"", u"logs.zip", u"");
    list->AddAttachment(u"/logs/README", u"", u"", u"");
    list->AddAttachment(u"/x", u"report.log", u"", u"upload");
    struct TRow {
        std::u16string File, SendAs, Zip, Field;
    };
    const TRow rows[] = {
        {u"/logs/run.txt", u"run.txt", u"", u"run"},
        {u"C:\\logs\\archive.tar.gz", u"archive.tar.gz", u"logs.zip", u"archive.tar"},
        {u"/logs/README", u"README", u"", u"README"},
        {u"/x", u"report.log", u"", u"upload"},
    };
    ASSERT_EQ(list->AttachmentCount(), 4);
    for (int32_t i = 0; i < 4; ++i) {
        TRow read;
        ASSERT_TRUE(list->AttachmentAt(i, read.File, read.SendAs, read.Zip, read.Field));
        EXPECT_EQ(read.File, rows[i].File);
        EXPECT_EQ(read.SendAs, rows[i].SendAs);
        EXPECT_EQ(read.Zip, rows[i].Zip);
        EXPECT_EQ(read.Field, rows[i].Field);
    }
    TRow none;
    EXPECT_FALSE(list->AttachmentAt(4, none.File, none.SendAs, none.Zip, none.Field));

    const auto copy = list->CopyAttachments();
    EXPECT_TRUE(list->RemoveAttachment(u"/LOGS/readme"));
    EXPECT_FALSE(list->RemoveAttachment(u"/logs/readme"));
    EXPECT_EQ(list->AttachmentCount(), 3);
    EXPECT_EQ(copy->AttachmentCount(), 4);
    list->ClearAttachments();
    EXPECT_EQ(list->AttachmentCount(), 0);
}

} // namespace
