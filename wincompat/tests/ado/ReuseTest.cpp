// What the ADO layer keeps from one command for the next: each thread's
// recent command texts and lists of parameters, each session's bound values
// and the plans of the texts it ran lately, and the room a result set has in
// itself before it takes memory of its own.
#include <atomic>
#include <thread>

#include "ado/Session.h"
#include "ado/Stubs.h"
#include "AdoTestSupport.h"
#include "ForeignParameter.h"

using namespace wincompat_test;

namespace {

// A Parameter of another implementation whose value is worked out by running
// a command of its own on the same connection, while the outer command is
// reading its parameters.
class QueryingParameter final : public ForeignParameter {
public:
    explicit QueryingParameter(_Connection* connection)
        : ForeignParameter(u"@Queried", adInteger), connection_(connection) {}
    STDMETHODIMP get_Value(VARIANT* out) override {
        Ref<_Command> inner = NewCommand(connection_, u"SELECT ? * ? AS Product");
        Var six = Var::I4(6), seven = Var::I4(7);
        if (FAILED(AddParameter(inner.get(), adInteger, six)) || FAILED(AddParameter(inner.get(), adInteger, seven)))
            return E_FAIL;
        Ref<_Recordset> rs;
        HRESULT hr = Execute(inner.get(), rs);
        if (FAILED(hr)) return hr;
        VARIANT first = Index(0);
        VariantInit(out);
        return rs->get_Collect(first, out);
    }

private:
    ~QueryingParameter() override = default;
    _Connection* connection_;
};

LONG LongOf(Var& value) { return value.vt() == VT_I4 ? value.get().lVal : -1; }

// Column N of the first row the command returns.
LONG QueryThrough(_Command* command) {
    Ref<_Recordset> rs;
    if (FAILED(Execute(command, rs))) return -1;
    Var n;
    Collect(rs.get(), u"N", n);
    return LongOf(n);
}

TEST(AdoCommandLists, ACommandRunWhileAnotherReadsItsParametersKeepsItsOwnValues) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("nested.db"));
    Ref<_Command> outer = NewCommand(connection.get(), u"SELECT ? + ? + ? AS Total");
    Var one = Var::I4(1), two = Var::I4(2);
    ASSERT_EQ(S_OK, AddParameter(outer.get(), adInteger, one));
    Ref<Parameters> parameters;
    ASSERT_EQ(S_OK, outer->get_Parameters(parameters.out()));
    QueryingParameter* queried = new QueryingParameter(connection.get());
    ASSERT_EQ(S_OK, parameters->Append(static_cast<_Parameter*>(queried)));
    queried->Release();
    ASSERT_EQ(S_OK, AddParameter(outer.get(), adInteger, two));
    for (int round = 0; round < 3; ++round) {  // the lists handed back are whole again
        Ref<_Recordset> rs;
        ASSERT_EQ(S_OK, Execute(outer.get(), rs)) << TakeErrorDescription().size();
        Var total;
        Collect(rs.get(), u"Total", total);
        EXPECT_EQ(1 + 42 + 2, LongOf(total));
    }
}

TEST(AdoCommandLists, ThreadsEndingAfterTheirCommandsLeaveTheOthersWorking) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("threads.db"));
    std::atomic<int> right{0};
    auto run = [&](LONG base) {
        for (LONG i = 0; i < 20; ++i) {
            Ref<_Command> command = NewCommand(connection.get(), u"SELECT ? + ? AS Sum");
            Var a = Var::I4(base), b = Var::I4(i);
            if (FAILED(AddParameter(command.get(), adInteger, a)) || FAILED(AddParameter(command.get(), adInteger, b)))
                return;
            Ref<_Recordset> rs;
            if (FAILED(Execute(command.get(), rs))) return;
            Var sum;
            Collect(rs.get(), u"Sum", sum);
            if (LongOf(sum) == base + i) ++right;
        }
    };
    for (int wave = 0; wave < 2; ++wave) {
        std::vector<std::thread> threads;
        for (LONG t = 0; t < 4; ++t) threads.emplace_back(run, 1000 * (t + 1));
        for (std::thread& thread : threads) thread.join();
    }
    run(0);
    EXPECT_EQ(2 * 4 * 20 + 20, right.load());
}

// A text command reads the Parameter objects of ours in its collection in
// one go when it runs: what it binds is what they hold then.
TEST(AdoCommandParameters, ValuesAreThoseTheParametersHoldWhenTheCommandRuns) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("parameters.db"));
    Ref<_Command> command = NewCommand(connection.get(), u"SELECT ? AS N");
    Var five = Var::I4(5);
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, five));
    EXPECT_EQ(5, QueryThrough(command.get()));
    Ref<Parameters> parameters;
    ASSERT_EQ(S_OK, command->get_Parameters(parameters.out()));
    Ref<_Parameter> first;
    ASSERT_EQ(S_OK, parameters->get_Item(Index(0), first.out()));
    Var six = Var::I4(6);
    ASSERT_EQ(S_OK, first->put_Value(six.get()));
    EXPECT_EQ(6, QueryThrough(command.get()));
    ASSERT_EQ(S_OK, parameters->Delete(Index(0)));
    Var seven = Var::I4(7);
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, seven));
    EXPECT_EQ(7, QueryThrough(command.get()));
    // A parameter of another implementation among ours: all are read, in order.
    Bstr sum(u"SELECT ? * 100 + ? AS N");
    ASSERT_EQ(S_OK, command->put_CommandText(sum.get()));
    QueryingParameter* queried = new QueryingParameter(connection.get());
    ASSERT_EQ(S_OK, parameters->Append(static_cast<_Parameter*>(queried)));
    queried->Release();
    EXPECT_EQ(742, QueryThrough(command.get()));
    ASSERT_EQ(S_OK, parameters->Delete(Index(1)));
    Var eight = Var::I4(8);
    ASSERT_EQ(S_OK, AddParameter(command.get(), adInteger, eight));
    EXPECT_EQ(708, QueryThrough(command.get()));
    // A value that cannot be converted fails the run, and the next run too.
    ASSERT_EQ(S_OK, parameters->Delete(Index(1)));
    Var notGuid = Var::Text(u"not a guid");
    ASSERT_EQ(S_OK, AddParameter(command.get(), adGUID, notGuid));
    Ref<_Recordset> none;
    EXPECT_EQ(DB_E_CANTCONVERTVALUE, Execute(command.get(), none));
    EXPECT_EQ(DB_E_CANTCONVERTVALUE, Execute(command.get(), none));
}

// One Parameter object in the collections of commands run on two threads
// while a third keeps changing its value: each run binds one whole value.
TEST(AdoCommandParameters, AParameterSharedAcrossThreadsGivesEachRunAWholeValue) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("shared.db"));
    Ref<_Command> probe = NewCommand(connection.get(), u"SELECT ? AS N");
    Var initial = Var::Text(u"a");
    Ref<_Parameter> shared;
    Bstr noName(u"");
    ASSERT_EQ(S_OK, probe->CreateParameter(noName.get(), adBSTR, adParamInput, 0, initial.get(), shared.out()));
    auto isWhole = [](const std::u16string& text) {
        return !text.empty() && text.size() <= 40 && text.find_first_not_of(text[0]) == std::u16string::npos;
    };
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0}, runs{0};
    std::thread writer([&] {
        for (int i = 0; !done; ++i) {
            std::u16string text(static_cast<size_t>(1 + i % 40), char16_t(u'a' + i % 26));
            Var value = Var::Text(text.c_str());
            shared->put_Value(value.get());
        }
    });
    auto run = [&] {
        Ref<_Command> command = NewCommand(connection.get(), u"SELECT ? AS N");
        Ref<Parameters> parameters;
        if (FAILED(command->get_Parameters(parameters.out())) || FAILED(parameters->Append(shared.get()))) {
            ++wrong;
            return;
        }
        for (int i = 0; i < 200; ++i) {
            Ref<_Recordset> rs;
            if (FAILED(Execute(command.get(), rs))) {
                ++wrong;
                continue;
            }
            Var n;
            Var name = Var::Text(u"N");
            if (FAILED(rs->get_Collect(name.get(), n.out())) || !isWhole(n.text())) ++wrong;
            ++runs;
        }
    };
    std::thread first(run), second(run);
    first.join();
    second.join();
    done = true;
    writer.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(400, runs.load());
}

std::u16string TextOf(_Command* command) {
    BSTR text = nullptr;
    EXPECT_EQ(S_OK, command->get_CommandText(&text));
    std::u16string result = text ? std::u16string(text, SysStringLen(text)) : std::u16string();
    SysFreeString(text);
    return result;
}

TEST(AdoCommandText, ACommandKeepsItsTextAfterItsThreadPutManyOthersAndEnded) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("texts.db"));
    Ref<_Command> kept;
    std::thread([&] {
        kept = NewCommand(connection.get(), u"SELECT 17 AS N");
        for (int i = 0; i < 40; ++i) {
            Ref<_Command> other = NewCommand(connection.get(), U16("SELECT " + std::to_string(i) + " AS N").c_str());
        }
    }).join();
    EXPECT_EQ(u"SELECT 17 AS N", TextOf(kept.get()));
    EXPECT_EQ(17, QueryThrough(kept.get()));
}

TEST(AdoCommandText, CommandsGivenTheSameTextChangeTheirTextsApart) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("texts.db"));
    Ref<_Command> first = NewCommand(connection.get(), u"SELECT 1 AS N");
    Ref<_Command> second = NewCommand(connection.get(), u"SELECT 1 AS N");
    Bstr other(u"SELECT 2 AS N");
    ASSERT_EQ(S_OK, first->put_CommandText(other.get()));
    EXPECT_EQ(u"SELECT 2 AS N", TextOf(first.get()));
    EXPECT_EQ(u"SELECT 1 AS N", TextOf(second.get()));
    EXPECT_EQ(2, QueryThrough(first.get()));
    EXPECT_EQ(1, QueryThrough(second.get()));
    // A text too long to be kept for others still serves its own command.
    std::u16string longText = u"SELECT 3 AS N" + std::u16string(5000, u' ');
    Bstr longBstr(longText.c_str());
    ASSERT_EQ(S_OK, second->put_CommandText(longBstr.get()));
    EXPECT_EQ(longText, TextOf(second.get()));
    EXPECT_EQ(3, QueryThrough(second.get()));
}

// A session finds the plan of a text it ran lately by the text object the
// command shares with it: the plan must be that text's, whichever texts ran
// in between and however often the session let go of its plans.
TEST(AdoBatchPlans, TextsRunInTurnEachGiveTheirOwnRows) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("plans.db"));
    // More texts than the session remembers by object, of one length, on
    // commands made once and on commands made for every run.
    std::vector<std::u16string> texts;
    for (int i = 0; i < 7; ++i) texts.push_back(U16("SELECT " + std::to_string(10 + i) + " AS N"));
    std::vector<Ref<_Command>> kept;
    for (const std::u16string& text : texts) kept.push_back(NewCommand(connection.get(), text.c_str()));
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(LONG(10 + i), QueryThrough(kept[i].get())) << round << " " << i;
            Ref<_Command> fresh = NewCommand(connection.get(), texts[texts.size() - 1 - i].c_str());
            EXPECT_EQ(LONG(16 - i), QueryThrough(fresh.get())) << round << " " << i;
            EXPECT_EQ(LONG(10 + i), QueryLong(connection.get(), texts[i].c_str())) << round << " " << i;
        }
    }
}

TEST(AdoBatchPlans, ACommandGivenAnotherTextRunsTheNewOne) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("plans.db"));
    Ref<_Command> command = NewCommand(connection.get(), u"SELECT 1 AS N");
    EXPECT_EQ(1, QueryThrough(command.get()));
    Bstr other(u"SELECT 2 AS N");
    ASSERT_EQ(S_OK, command->put_CommandText(other.get()));
    EXPECT_EQ(2, QueryThrough(command.get()));
    Bstr first(u"SELECT 1 AS N");
    ASSERT_EQ(S_OK, command->put_CommandText(first.get()));
    EXPECT_EQ(1, QueryThrough(command.get()));
    // Run as a table name the same text object means another statement.
    Ref<_Connection> tables = OpenConnection(dir.File("tables.db"));
    for (const char16_t* setup : {u"CREATE TABLE Numbers (N int)", u"INSERT INTO Numbers (N) VALUES (5)"}) {
        Bstr text(setup);
        ASSERT_EQ(S_OK, tables->Execute(text.get(), nullptr, adCmdText | adExecuteNoRecords, nullptr));
    }
    Ref<_Command> byName = NewCommand(tables.get(), u"Numbers", adCmdTable);
    Ref<_Command> asText = NewCommand(tables.get(), u"Numbers");
    EXPECT_EQ(5, QueryThrough(byName.get()));
    Ref<_Recordset> none;
    EXPECT_TRUE(FAILED(Execute(asText.get(), none)));
    EXPECT_EQ(5, QueryThrough(byName.get()));
}

TEST(AdoBatchPlans, TextsRunLatelyStayRightAfterTheSessionLetGoOfItsPlans) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("plans.db"));
    Ref<_Command> kept = NewCommand(connection.get(), u"SELECT 7 AS N");
    EXPECT_EQ(7, QueryThrough(kept.get()));
    // Texts made up on the fly, more than the session keeps plans for, each
    // followed by the kept one: it is among the texts run last whenever the
    // session lets go of its plans.
    for (int i = 0; i < 600; ++i) {
        Ref<_Command> other = NewCommand(connection.get(), U16("SELECT " + std::to_string(1000 + i) + " AS N").c_str());
        ASSERT_EQ(LONG(1000 + i), QueryThrough(other.get()));
        ASSERT_EQ(7, QueryThrough(kept.get())) << i;
    }
}

// A statement's parameter names are read until they were all found to be
// markers: a name refused once is refused on every run.
TEST(AdoBatchPlans, ANamedParameterIsRefusedOnEveryRun) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("plans.db"));
    for (int round = 0; round < 3; ++round) {
        Ref<_Command> named = NewCommand(connection.get(), u"SELECT ? + @Other AS N");
        Var one = Var::I4(1), two = Var::I4(2);
        ASSERT_EQ(S_OK, AddParameter(named.get(), adInteger, one));
        ASSERT_EQ(S_OK, AddParameter(named.get(), adInteger, two));
        Ref<_Recordset> none;
        EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(named.get(), none)) << round;
        EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"@Other")) << round;
    }
    // The same in a batch whose first statement ran before the second was
    // refused; a batch of markers only runs once it has all its values.
    for (int round = 0; round < 3; ++round) {
        Ref<_Command> batch = NewCommand(connection.get(), u"SELECT ? AS A; SELECT @Second AS B");
        Var one = Var::I4(1);
        ASSERT_EQ(S_OK, AddParameter(batch.get(), adInteger, one));
        Ref<_Recordset> none;
        EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(batch.get(), none)) << round;
        EXPECT_NE(std::u16string::npos, TakeErrorDescription().find(u"@Second")) << round;
    }
    for (int round = 0; round < 2; ++round) {
        Ref<_Command> markers = NewCommand(connection.get(), u"SELECT ? + ? AS N");
        Var three = Var::I4(3), four = Var::I4(4);
        ASSERT_EQ(S_OK, AddParameter(markers.get(), adInteger, three));
        if (round == 0) {
            Ref<_Recordset> none;
            EXPECT_EQ(DB_E_PARAMNOTOPTIONAL, Execute(markers.get(), none));
        } else {
            ASSERT_EQ(S_OK, AddParameter(markers.get(), adInteger, four));
            EXPECT_EQ(7, QueryThrough(markers.get()));
        }
    }
}

// Values bound for one command are gone before the next: a command with
// fewer values than markers fails instead of taking the last command's.
TEST(AdoSessionValues, ACommandNeverBindsTheValuesOfTheOneBefore) {
    TempDir dir;
    Ref<_Connection> connection = OpenConnection(dir.File("values.db"));
    Ref<_Command> full = NewCommand(connection.get(), u"SELECT ? + ? AS Sum");
    Var a = Var::I4(3), b = Var::I4(4);
    ASSERT_EQ(S_OK, AddParameter(full.get(), adInteger, a));
    ASSERT_EQ(S_OK, AddParameter(full.get(), adInteger, b));
    Ref<_Recordset> rs;
    ASSERT_EQ(S_OK, Execute(full.get(), rs));

    Ref<_Command> short1 = NewCommand(connection.get(), u"SELECT ? + ? AS Sum");
    Var c = Var::I4(5);
    ASSERT_EQ(S_OK, AddParameter(short1.get(), adInteger, c));
    Ref<_Recordset> none;
    EXPECT_EQ(DB_E_PARAMNOTOPTIONAL, Execute(short1.get(), none));

    // The same after a command whose second value failed to convert.
    Ref<_Command> failing = NewCommand(connection.get(), u"SELECT ?, ? AS Id");
    Var text = Var::Text(u"x"), notGuid = Var::Text(u"not a guid");
    ASSERT_EQ(S_OK, AddParameter(failing.get(), adBSTR, text));
    ASSERT_EQ(S_OK, AddParameter(failing.get(), adGUID, notGuid));
    EXPECT_EQ(DB_E_CANTCONVERTVALUE, Execute(failing.get(), none));
    Ref<_Command> short2 = NewCommand(connection.get(), u"SELECT ?, ? AS Id");
    Var d = Var::Text(u"y");
    ASSERT_EQ(S_OK, AddParameter(short2.get(), adBSTR, d));
    EXPECT_EQ(DB_E_PARAMNOTOPTIONAL, Execute(short2.get(), none));
}

using wincompat::ado::ColumnInfo;
using wincompat::ado::DbValue;
using wincompat::ado::DbValueView;
using wincompat::ado::ResultColumn;
using wincompat::ado::ResultSet;

std::shared_ptr<const ColumnInfo> ThreeColumns() {
    return std::make_shared<const ColumnInfo>(
        ColumnInfo{{"n", "t", "r"},
                   {"int", "nvarchar(100)", "float"},
                   {ResultColumn{u"n", adInteger}, ResultColumn{u"t", adVarWChar}, ResultColumn{u"r", adDouble}}});
}

std::string TextOfRow(size_t row) { return "row " + std::to_string(row) + std::string(row % 7 * 10, 'x'); }

void AppendRows(ResultSet& rows, size_t from, size_t to) {
    for (size_t row = from; row < to; ++row) {
        rows.Append(DbValueView::Of(DbValue::Integer(static_cast<int64_t>(row))));
        rows.Append(row % 5 == 4 ? DbValueView::Of(DbValue::Null()) : DbValueView::Of(DbValue::Text(TextOfRow(row))));
        rows.Append(DbValueView::Of(DbValue::Real(row + 0.5)));
        rows.EndRow();
    }
}

void ExpectRows(ResultSet& rows, size_t count) {
    ASSERT_EQ(count, rows.RowCount());
    for (size_t row = 0; row < count; ++row) {
        EXPECT_EQ(DbValue::Kind::Integer, rows.ValueAt(row, 0).kind);
        EXPECT_EQ(static_cast<int64_t>(row), rows.ValueAt(row, 0).integer);
        if (row % 5 == 4) {
            EXPECT_TRUE(rows.ValueAt(row, 1).IsNull()) << row;
        } else {
            EXPECT_EQ(TextOfRow(row), rows.ValueAt(row, 1).bytes) << row;
        }
        EXPECT_EQ(row + 0.5, rows.ValueAt(row, 2).real);
    }
}

TEST(AdoResultSet, ValuesOutgrowingTheRoomInsideStayAsAppended) {
    ResultSet rows(ThreeColumns());
    AppendRows(rows, 0, 3);  // within the object
    ExpectRows(rows, 3);
    AppendRows(rows, 3, 200);  // cells and bytes moved out, more than once
    ExpectRows(rows, 200);
    rows.ReleaseSpare();
    ExpectRows(rows, 200);
}

TEST(AdoResultSet, RoomReservedAndLeftUnusedIsGivenBackWithoutLosingValues) {
    ResultSet few(ThreeColumns());
    few.Reserve(1000, 100000);
    AppendRows(few, 0, 2);
    few.ReleaseSpare();  // back inside the object
    ExpectRows(few, 2);
    AppendRows(few, 2, 60);  // and out again
    ExpectRows(few, 60);

    ResultSet many(ThreeColumns());
    many.Reserve(1000, 100000);
    AppendRows(many, 0, 100);
    many.ReleaseSpare();  // more than fits inside: an exact copy outside
    ExpectRows(many, 100);
    AppendRows(many, 100, 120);
    ExpectRows(many, 120);
}

}  // namespace
