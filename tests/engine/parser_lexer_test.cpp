// Lexing of batch text and the literal-independent shape key of the statement cache.
#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/sql/lexer.h"

namespace morvesk::engine::sql {
namespace {

std::vector<Token> Meaningful(std::string_view text) {
  std::vector<Token> t = Lex(text);
  EXPECT_EQ(t.back().kind, TokenKind::kEnd);
  t.pop_back();
  return t;
}

SqlError LexError(std::string_view text) {
  try {
    Lex(text);
  } catch (const SqlError& e) {
    return e;
  }
  ADD_FAILURE() << "no error for: " << text;
  return SqlError(0, 0, "");
}

TEST(Lexer, NamesOfEveryForm) {
  auto t = Meaningful("[Order]]s] \"Qty\" #TmpBal_1 ##glob @Qty @@ROWCOUNT tempdb..#x dbo.t_ICItem");
  ASSERT_EQ(t.size(), 13u);
  EXPECT_EQ(t[0].kind, TokenKind::kQuotedIdentifier);
  EXPECT_EQ(t[0].value, "Order]s");
  EXPECT_EQ(t[0].text, "[Order]]s]");
  EXPECT_EQ(t[1].kind, TokenKind::kQuotedIdentifier);
  EXPECT_EQ(t[1].value, "Qty");
  EXPECT_EQ(t[2].kind, TokenKind::kIdentifier);
  EXPECT_EQ(t[2].value, "#TmpBal_1");
  EXPECT_EQ(t[3].value, "##glob");
  EXPECT_EQ(t[4].kind, TokenKind::kVariable);
  EXPECT_EQ(t[4].value, "@Qty");
  EXPECT_EQ(t[5].kind, TokenKind::kSystemVariable);
  EXPECT_EQ(t[5].value, "@@ROWCOUNT");
  // tempdb..#x: name, two dots, name.
  EXPECT_EQ(t[6].value, "tempdb");
  EXPECT_EQ(t[7].kind, TokenKind::kDot);
  EXPECT_EQ(t[8].kind, TokenKind::kDot);
  EXPECT_EQ(t[9].value, "#x");
  // A bracketed keyword is a name, a bare one a keyword.
  EXPECT_FALSE(Meaningful("[select]")[0].Is("select"));
  EXPECT_TRUE(Meaningful("SeLeCt")[0].Is("select"));
}

TEST(Lexer, NumbersEndAtLettersAndCarryTheirTypes) {
  auto t = Meaningful("42AND 12.50 .5 3. 1E-05 2.5e3 1else 2147483647 2147483648 "
                      "99999999999999999999 000012.50");
  ASSERT_EQ(t.size(), 13u);
  EXPECT_EQ(t[0].kind, TokenKind::kInteger);
  EXPECT_EQ(t[0].text, "42");
  EXPECT_TRUE(t[1].Is("and"));
  EXPECT_EQ(t[2].literal_type, TypeInfo::Decimal(4, 2));
  EXPECT_EQ(t[3].literal_type, TypeInfo::Decimal(1, 1));
  EXPECT_EQ(t[4].literal_type, TypeInfo::Decimal(1, 0));
  EXPECT_EQ(t[5].kind, TokenKind::kFloat);
  EXPECT_EQ(t[5].literal_type.kind, TypeKind::kFloat);
  EXPECT_EQ(t[6].text, "2.5e3");
  EXPECT_EQ(t[7].text, "1");  // an exponent needs digits: 1 followed by ELSE
  EXPECT_TRUE(t[8].Is("else"));
  EXPECT_EQ(t[9].literal_type.kind, TypeKind::kInt);
  EXPECT_EQ(t[10].literal_type.kind, TypeKind::kBigInt);
  EXPECT_EQ(t[11].literal_type, TypeInfo::Decimal(20, 0));
  EXPECT_EQ(t[12].literal_type, TypeInfo::Decimal(4, 2));  // leading zeros add no precision
  EXPECT_EQ(LexError("select 123456789012345678901234567890123456789").number, 1007);
}

TEST(Lexer, StringsAndLiteralNumbering) {
  auto t = Meaningful("select 'it''s', '', N'中文', 7, 'B1' from t");
  std::vector<const Token*> lits;
  for (const Token& k : t) {
    if (k.IsLiteral()) lits.push_back(&k);
  }
  ASSERT_EQ(lits.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(lits[i]->literal_index, i);
  EXPECT_EQ(lits[0]->value, "it's");
  EXPECT_EQ(lits[0]->literal_type, TypeInfo::VarChar(4));
  EXPECT_EQ(lits[1]->value, "");
  EXPECT_EQ(lits[1]->literal_type, TypeInfo::VarChar(1));
  EXPECT_EQ(lits[2]->kind, TokenKind::kNString);
  EXPECT_EQ(lits[2]->literal_type.kind, TypeKind::kNVarChar);
  EXPECT_EQ(lits[2]->literal_type.length, 2);
  EXPECT_EQ(lits[3]->literal_type.kind, TypeKind::kInt);
  EXPECT_EQ(LiteralsOf(Lex("select 'it''s', '', N'中文', 7, 'B1' from t")).size(), 5u);
  // Names are not literals.
  for (const Token& k : t) {
    if (k.kind == TokenKind::kIdentifier) {
      EXPECT_EQ(k.literal_index, -1);
    }
  }
}

TEST(Lexer, OperatorsCommentsAndPositions) {
  auto t = Meaningful("a<>b!=c!<d!>e<=f>=g%h&i|j^~k;/* x /* nested */ y */ -- tail\r\nz");
  std::vector<TokenKind> ops;
  for (const Token& k : t) {
    if (k.kind != TokenKind::kIdentifier) ops.push_back(k.kind);
  }
  std::vector<TokenKind> want = {TokenKind::kNe,      TokenKind::kBangEq, TokenKind::kNotLt,
                                 TokenKind::kNotGt,   TokenKind::kLe,     TokenKind::kGe,
                                 TokenKind::kPercent, TokenKind::kAmp,    TokenKind::kPipe,
                                 TokenKind::kCaret,   TokenKind::kTilde,  TokenKind::kSemicolon};
  EXPECT_EQ(ops, want);
  EXPECT_EQ(t.back().value, "z");
  EXPECT_EQ(t.back().line, 2);
  EXPECT_EQ(t.back().column, 1);

  // Chinese comments and CR LF: columns count characters, lines count CR LF once.
  auto p = Meaningful("--插入期初数据，\r\n  select 中文名 , x\r\n\r\nfrom t");
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p[0].line, 2);
  EXPECT_EQ(p[0].column, 3);
  EXPECT_EQ(p[1].value, "中文名");
  EXPECT_EQ(p[2].column, 14);  // each of the three characters of 中文名 is one column
  EXPECT_EQ(p[4].line, 4);
  EXPECT_EQ(p[4].offset, std::string_view("--插入期初数据，\r\n  select 中文名 , x\r\n\r\n").size());
}

TEST(Lexer, BadTextIsRejectedWithPosition) {
  SqlError e = LexError("select 1\r\nselect 'abc");
  EXPECT_EQ(e.number, 105);
  EXPECT_EQ(e.severity, 15);
  EXPECT_EQ(e.message, "Unclosed quotation mark after the character string 'abc'.");
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.column, 8);
  EXPECT_EQ(LexError("select [abc").number, 105);
  EXPECT_EQ(LexError("select 1 /* open").number, 113);
  SqlError colon = LexError("label:\nselect 1");
  EXPECT_EQ(colon.number, 102);
  EXPECT_EQ(colon.message, "Incorrect syntax near ':'.");
  EXPECT_EQ(colon.column, 6);
}

TEST(ShapeKey, SameForOtherValuesOfTheSameTypes) {
  const char* a =
      "update oi set oi.FDebit = oi.FDebit + round(((-30) * (duai.FAmount) / (@Amount)),2)\r\n"
      " from #t_CC_Stock_BatchNo oi where oi.FItemID=42 and FBatchNo='B1' and x=12.50";
  const char* b =
      "update oi set oi.FDebit = oi.FDebit + round(((-77) * (duai.FAmount) / (@Amount)),5)\r\n"
      " from #t_CC_Stock_BatchNo oi where oi.FItemID=10 and FBatchNo='X9' and x=99.99";
  EXPECT_EQ(ShapeKey(Lex(a)), ShapeKey(Lex(b)));
  // Comments and runs of blanks are no part of the shape.
  EXPECT_EQ(ShapeKey(Lex("select  1 -- one\r\n")), ShapeKey(Lex("select 2")));
}

// A literal's whole type is part of the shape, and names keep their spelling, because
// result types and column names follow them.
TEST(ShapeKey, DiffersWhenTypesNamesOrStructureDiffer) {
  auto key = [](const char* s) { return ShapeKey(Lex(s)); };
  EXPECT_NE(key("select 3"), key("select 3.0"));
  EXPECT_NE(key("select 12.5"), key("select 12.50"));  // decimal scale is part of the type
  EXPECT_NE(key("select 1"), key("select 3000000000"));  // int against bigint
  EXPECT_NE(key("select 2"), key("select 20"));  // decimal(1,0) against decimal(2,0)
  EXPECT_NE(key("select 'a'"), key("select 'ab'"));  // varchar(1) against varchar(2)
  EXPECT_NE(key("select N'a'"), key("select N'ab'"));
  EXPECT_NE(key("select 'a'"), key("select N'a'"));
  EXPECT_NE(key("select 1"), key("select 1e0"));
  EXPECT_NE(key("select a"), key("select [a]"));  // a bracketed name is never a keyword
  EXPECT_NE(key("select 1 as Total"), key("select 1 as TOTAL"));
  EXPECT_NE(key("select 1 select 2"), key("select 1\r\nselect 2"));  // statement lines
  EXPECT_NE(key("select x from t"), key("select y from t"));
  EXPECT_NE(key("select '1'"), key("select 1"));
}

}  // namespace
}  // namespace morvesk::engine::sql
