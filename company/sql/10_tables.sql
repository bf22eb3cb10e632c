-- Tables of the company database: settings and calendar, master data, bills,
-- balances, and the work, log, settlement and numbering tables.
-- Quantities and amounts are decimal(28,10) everywhere; dates are datetime at
-- midnight. Columns the costing batches insert without naming are NOT NULL with a
-- default, so that rows written by INSERT ... SELECT never carry NULL amounts.

-- Settings and calendar ------------------------------------------------------

CREATE TABLE t_SystemProfile (
  FCategory varchar(30) NOT NULL,
  FKey varchar(50) NOT NULL,
  FValue varchar(255) NULL,
  FExplanation varchar(255) NOT NULL DEFAULT '',
  CONSTRAINT pk_SystemProfile PRIMARY KEY (FCategory, FKey)
)

CREATE TABLE t_PeriodDate (
  FYear int NOT NULL,
  FPeriod int NOT NULL,
  FStartDate datetime NOT NULL,
  FEndDate datetime NOT NULL,  -- the period's last day, compared inclusively
  CONSTRAINT pk_PeriodDate PRIMARY KEY (FYear, FPeriod)
)
GO

-- Master data ----------------------------------------------------------------

-- Items. No period, quantity, amount, status or date columns: the costing batches
-- join this table with balances and views using unqualified column names.
CREATE TABLE t_ICItem (
  FItemID int NOT NULL,
  FNumber varchar(80) NOT NULL,
  FName varchar(80) NOT NULL,
  FTrack int NOT NULL,               -- costing method: 76, 77, 78, 80 or another code
  FISAuxi int NOT NULL DEFAULT 0,
  FISBatchManager int NOT NULL DEFAULT 0,
  FBatchManager int NOT NULL DEFAULT 0,
  FISKFPeriod int NOT NULL DEFAULT 0,
  FKFPeriod int NOT NULL DEFAULT 0,  -- shelf life in days
  FCostPrice decimal(28,10) NULL,
  FPriceDecimal int NOT NULL DEFAULT 2,
  FUnitID int NOT NULL,
  FIsAssembly int NOT NULL DEFAULT 0,
  CONSTRAINT pk_ICItem PRIMARY KEY (FItemID),
  CONSTRAINT uk_ICItem_Number UNIQUE (FNumber)
)

CREATE TABLE t_Stock (
  FItemID int NOT NULL,
  FNumber varchar(80) NOT NULL,
  FName varchar(80) NOT NULL,
  FStockGroupID int NOT NULL DEFAULT 0,
  FTypeID int NOT NULL DEFAULT 500,  -- 502: held for others, not valued
  CONSTRAINT pk_Stock PRIMARY KEY (FItemID),
  CONSTRAINT uk_Stock_Number UNIQUE (FNumber)
)

CREATE TABLE t_auxItem (
  FItemID int NOT NULL,
  FNumber varchar(80) NOT NULL,
  FName varchar(80) NOT NULL,
  CONSTRAINT pk_auxItem PRIMARY KEY (FItemID)
)

CREATE TABLE t_MeasureUnit (
  FItemID int NOT NULL,
  FNumber varchar(30) NOT NULL,
  FName varchar(80) NOT NULL,
  CONSTRAINT pk_MeasureUnit PRIMARY KEY (FItemID)
)

-- Small code lists: costing methods (FTypeID 200, FInterID = the FTrack code) and
-- stock groups (FParentID 166).
CREATE TABLE t_SubMessage (
  FInterID int NOT NULL,
  FID varchar(30) NOT NULL DEFAULT '',
  FName varchar(80) NOT NULL,
  FTypeID int NOT NULL DEFAULT 0,
  FParentID int NOT NULL DEFAULT 0,
  CONSTRAINT pk_SubMessage PRIMARY KEY (FInterID)
)

CREATE TABLE ICClassType (
  FID int NOT NULL,
  FName_CHS varchar(80) NOT NULL,
  FObjectType int NOT NULL DEFAULT 0,
  FObjectID int NOT NULL DEFAULT 0,
  FTableName varchar(50) NOT NULL DEFAULT '',
  CONSTRAINT pk_ICClassType PRIMARY KEY (FID)
)

CREATE TABLE t_BaseBillTypeData (
  FID int NOT NULL,
  FName varchar(80) NOT NULL,
  CONSTRAINT pk_BaseBillTypeData PRIMARY KEY (FID)
)
GO

-- Bills ----------------------------------------------------------------------

-- Stock bill headers: receipts, issues, transfers and price adjustments.
-- FStatus NULL or 0 = not audited, 1 = audited.
CREATE TABLE T_CC_StockBill (
  FID int NOT NULL,
  FBillNo varchar(50) NOT NULL,
  FClassTypeID int NOT NULL,
  FBillTypeID int NOT NULL DEFAULT 0,
  FDate datetime NOT NULL,
  FStatus int NULL DEFAULT 0,
  FSupplyID int NOT NULL DEFAULT 0,
  FCustID int NOT NULL DEFAULT 0,
  FAllAmount decimal(28,10) NOT NULL DEFAULT 0,
  FNeutralizeAmount decimal(28,10) NOT NULL DEFAULT 0,
  FExplanation varchar(255) NOT NULL DEFAULT '',
  FBillerID int NOT NULL DEFAULT 0,
  FCheckerID int NOT NULL DEFAULT 0,
  FCheckDate datetime NULL,
  CONSTRAINT pk_StockBill PRIMARY KEY (FID)
)
CREATE INDEX ix_StockBill_Date ON T_CC_StockBill (FDate)
CREATE INDEX ix_StockBill_Class ON T_CC_StockBill (FClassTypeID, FBillTypeID)

-- Stock bill lines. Quantities are entered positive; the receipt and issue views
-- give them their sign. No FBillTypeID here (the bill type lives on the header).
-- (FID, FIndex) is deliberately not unique: the batch repair job looks for bills
-- with repeated line numbers.
CREATE TABLE T_CC_StockBillEntry (
  FEntryID int NOT NULL,
  FID int NOT NULL,
  FIndex int NOT NULL,
  FItemID int NOT NULL,
  FBatchNo varchar(80) NOT NULL DEFAULT '',
  FAuxPropID int NOT NULL DEFAULT 0,
  FDCStockID int NOT NULL DEFAULT 0,  -- receiving stock
  FSCStockID int NOT NULL DEFAULT 0,  -- sending stock
  FUnitID int NOT NULL DEFAULT 0,
  FQty decimal(28,10) NOT NULL DEFAULT 0,
  FSecQty decimal(28,10) NOT NULL DEFAULT 0,
  FPrice decimal(28,10) NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0,      -- purchase or sales value
  FCostAmount decimal(28,10) NOT NULL DEFAULT 0,  -- inventory value of the line
  FKFDate datetime NULL,     -- production date
  FKFPeriod int NULL,        -- shelf life in days
  FPeriodDate datetime NULL, -- expiry date
  FNote varchar(255) NOT NULL DEFAULT '',
  CONSTRAINT pk_StockBillEntry PRIMARY KEY (FEntryID)
)
CREATE INDEX ix_StockBillEntry_Bill ON T_CC_StockBillEntry (FID)
CREATE INDEX ix_StockBillEntry_Item ON T_CC_StockBillEntry (FItemID, FBatchNo)

-- Assembly (1040005) and dismantling (1040006) bills. Product lines live in
-- t_CC_ZZCX_Entry, component (part) lines in t_CC_ZZCX_Entry2.
CREATE TABLE t_CC_ZZCX (
  FID int NOT NULL,
  FBillNo varchar(50) NOT NULL,
  FClassTypeID int NOT NULL,
  FDate datetime NOT NULL,
  FStatus int NULL DEFAULT 0,
  FExplanation varchar(255) NOT NULL DEFAULT '',
  CONSTRAINT pk_ZZCX PRIMARY KEY (FID)
)
CREATE INDEX ix_ZZCX_Date ON t_CC_ZZCX (FDate)

CREATE TABLE t_CC_ZZCX_Entry (
  FEntryID int NOT NULL,
  FID int NOT NULL,
  FIndex int NOT NULL,
  FItemID int NOT NULL,
  FStockID int NOT NULL,
  FBatchNo varchar(80) NOT NULL DEFAULT '',
  FAuxPropID int NOT NULL DEFAULT 0,
  FQty decimal(28,10) NOT NULL DEFAULT 0,
  FSecQty decimal(28,10) NOT NULL DEFAULT 0,
  FCostAmount decimal(28,10) NOT NULL DEFAULT 0,
  FKFDate datetime NULL,
  FKFPeriod int NULL,
  FPeriodDate datetime NULL,
  CONSTRAINT pk_ZZCX_Entry PRIMARY KEY (FEntryID)
)
CREATE INDEX ix_ZZCX_Entry_Bill ON t_CC_ZZCX_Entry (FID)

CREATE TABLE t_CC_ZZCX_Entry2 (
  FEntryID int NOT NULL,
  FID int NOT NULL,
  FIndex int NOT NULL,
  FItemID int NOT NULL,
  FStockID int NOT NULL,
  FBatchNo varchar(80) NOT NULL DEFAULT '',
  FAuxPropID int NOT NULL DEFAULT 0,
  FQty decimal(28,10) NOT NULL DEFAULT 0,
  FSecQty decimal(28,10) NOT NULL DEFAULT 0,
  FCostAmount decimal(28,10) NOT NULL DEFAULT 0,
  FKFDate datetime NULL,
  FKFPeriod int NULL,
  FPeriodDate datetime NULL,
  CONSTRAINT pk_ZZCX_Entry2 PRIMARY KEY (FEntryID)
)
CREATE INDEX ix_ZZCX_Entry2_Bill ON t_CC_ZZCX_Entry2 (FID)
GO

-- Receivable and payable bills: money receipts, payments, other receivables,
-- purchase charges, other payables, write-offs and bank bills. The pre-close
-- checks only look for unaudited ones; FAcctID and FAmount feed the settlement
-- account balances.
CREATE TABLE t_RP_RBill (
  FID int NOT NULL, FBillNo varchar(50) NOT NULL, FClassTypeID int NOT NULL,
  FBillTypeID int NOT NULL DEFAULT 0, FDate datetime NOT NULL, FStatus int NULL DEFAULT 0,
  FExplanation varchar(255) NOT NULL DEFAULT '', FCustID int NOT NULL DEFAULT 0,
  FSupplyID int NOT NULL DEFAULT 0, FAcctID int NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0,
  CONSTRAINT pk_RP_RBill PRIMARY KEY (FID)
)
CREATE TABLE t_RP_PBill (
  FID int NOT NULL, FBillNo varchar(50) NOT NULL, FClassTypeID int NOT NULL,
  FBillTypeID int NOT NULL DEFAULT 0, FDate datetime NOT NULL, FStatus int NULL DEFAULT 0,
  FExplanation varchar(255) NOT NULL DEFAULT '', FCustID int NOT NULL DEFAULT 0,
  FSupplyID int NOT NULL DEFAULT 0, FAcctID int NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0,
  CONSTRAINT pk_RP_PBill PRIMARY KEY (FID)
)
CREATE TABLE t_RP_ROtherBill (
  FID int NOT NULL, FBillNo varchar(50) NOT NULL, FClassTypeID int NOT NULL,
  FBillTypeID int NOT NULL DEFAULT 0, FDate datetime NOT NULL, FStatus int NULL DEFAULT 0,
  FExplanation varchar(255) NOT NULL DEFAULT '', FCustID int NOT NULL DEFAULT 0,
  FSupplyID int NOT NULL DEFAULT 0, FAcctID int NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0,
  CONSTRAINT pk_RP_ROtherBill PRIMARY KEY (FID)
)
CREATE TABLE t_RP_PChargeBill (
  FID int NOT NULL, FBillNo varchar(50) NOT NULL, FClassTypeID int NOT NULL,
  FBillTypeID int NOT NULL DEFAULT 0, FDate datetime NOT NULL, FStatus int NULL DEFAULT 0,
  FExplanation varchar(255) NOT NULL DEFAULT '', FCustID int NOT NULL DEFAULT 0,
  FSupplyID int NOT NULL DEFAULT 0, FAcctID int NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0,
  CONSTRAINT pk_RP_PChargeBill PRIMARY KEY (FID)
)
CREATE TABLE t_RP_POtherBill (
  FID int NOT NULL, FBillNo varchar(50) NOT NULL, FClassTypeID int NOT NULL,
  FBillTypeID int NOT NULL DEFAULT 0, FDate datetime NOT NULL, FStatus int NULL DEFAULT 0,
  FExplanation varchar(255) NOT NULL DEFAULT '', FCustID int NOT NULL DEFAULT 0,
  FSupplyID int NOT NULL DEFAULT 0, FAcctID int NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0,
  CONSTRAINT pk_RP_POtherBill PRIMARY KEY (FID)
)
CREATE TABLE t_RP_CheckBill (
  FID int NOT NULL, FBillNo varchar(50) NOT NULL, FClassTypeID int NOT NULL,
  FBillTypeID int NOT NULL DEFAULT 0, FDate datetime NOT NULL, FStatus int NULL DEFAULT 0,
  FExplanation varchar(255) NOT NULL DEFAULT '', FCustID int NOT NULL DEFAULT 0,
  FSupplyID int NOT NULL DEFAULT 0, FAcctID int NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0,
  CONSTRAINT pk_RP_CheckBill PRIMARY KEY (FID)
)
-- Bank bills know no bill type; FAmount is signed: + money in, - money out.
CREATE TABLE t_RP_BankBill (
  FID int NOT NULL, FBillNo varchar(50) NOT NULL, FClassTypeID int NOT NULL,
  FDate datetime NOT NULL, FStatus int NULL DEFAULT 0,
  FExplanation varchar(255) NOT NULL DEFAULT '', FCustID int NOT NULL DEFAULT 0,
  FSupplyID int NOT NULL DEFAULT 0, FAcctID int NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0,
  CONSTRAINT pk_RP_BankBill PRIMARY KEY (FID)
)
GO

-- Balances -------------------------------------------------------------------

-- Period balances by stock, item and batch; lot-by-lot items (FTrack 78) have one
-- row per receipt lot. No unique key over FInterID: the carry-forward rewrites the
-- tails of all lot identifiers of a period in one statement and passes through
-- values another row still holds.
CREATE TABLE t_CC_Bal (
  FIdentity int IDENTITY(1,1) NOT NULL,
  FInterID varchar(24) NOT NULL,
  FYear int NOT NULL,
  FPeriod int NOT NULL,
  FStockID int NOT NULL,
  FItemID int NOT NULL,
  FBatchNo varchar(200) NOT NULL DEFAULT '',
  FBegQty decimal(28,10) NOT NULL DEFAULT 0,
  FBegBal decimal(28,10) NOT NULL DEFAULT 0,
  FReceive decimal(28,10) NOT NULL DEFAULT 0,
  FDebit decimal(28,10) NOT NULL DEFAULT 0,
  FSend decimal(28,10) NOT NULL DEFAULT 0,
  FCredit decimal(28,10) NOT NULL DEFAULT 0,
  FEndQty decimal(28,10) NOT NULL DEFAULT 0,
  FEndBal decimal(28,10) NOT NULL DEFAULT 0,
  FStockInDate datetime NOT NULL DEFAULT '1900-01-01',
  FID int NOT NULL DEFAULT 0,
  FEntryID int NOT NULL DEFAULT 0,
  FClassTypeID int NOT NULL DEFAULT 0,
  CONSTRAINT pk_CC_Bal PRIMARY KEY (FIdentity)
)
CREATE INDEX ix_CC_Bal_Key ON t_CC_Bal (FYear, FPeriod, FItemID, FStockID, FInterID)

-- Period balances by stock, item, batch and auxiliary property. The unique key is
-- the one the close relies on to detect one batch with two datings.
CREATE TABLE t_CC_Stock (
  FYear int NOT NULL,
  FPeriod int NOT NULL,
  FStockID int NOT NULL,
  FItemID int NOT NULL,
  FBatchNo varchar(255) NOT NULL DEFAULT '',
  FAuxPropID int NOT NULL DEFAULT 0,
  FBegQty decimal(28,10) NOT NULL DEFAULT 0,
  FSecBegQty decimal(28,10) NOT NULL DEFAULT 0,
  FBegBal decimal(28,10) NOT NULL DEFAULT 0,
  FReceive decimal(28,10) NOT NULL DEFAULT 0,
  FSecReceive decimal(28,10) NOT NULL DEFAULT 0,
  FDebit decimal(28,10) NOT NULL DEFAULT 0,
  FSend decimal(28,10) NOT NULL DEFAULT 0,
  FSecSend decimal(28,10) NOT NULL DEFAULT 0,
  FCredit decimal(28,10) NOT NULL DEFAULT 0,
  FEndQty decimal(28,10) NOT NULL DEFAULT 0,
  FSecEndQty decimal(28,10) NOT NULL DEFAULT 0,
  FEndBal decimal(28,10) NOT NULL DEFAULT 0,
  FKFDate datetime NULL,
  FKFPeriod int NULL,
  FPeriodDate datetime NULL,
  CONSTRAINT uk_CC_Stock UNIQUE (FYear, FPeriod, FStockID, FItemID, FBatchNo, FAuxPropID)
)

-- Batch-level balances. Plain index only: the carry-forward adds the closed
-- period's rows to the current period without removing earlier ones, so a repeated
-- run must not fail on a key.
CREATE TABLE t_CC_Stock_BatchNo (
  FYear int NOT NULL,
  FPeriod int NOT NULL,
  FStockID int NOT NULL,
  FItemID int NOT NULL,
  FBatchNo varchar(255) NOT NULL DEFAULT '',
  FAuxPropID int NOT NULL DEFAULT 0,
  FKFPeriod int NOT NULL DEFAULT 0,
  FPeriodDate datetime NOT NULL DEFAULT '1900-01-01',
  FKFDate datetime NOT NULL DEFAULT '1900-01-01',
  FBegQty decimal(28,10) NOT NULL DEFAULT 0,
  FSecBegQty decimal(28,10) NOT NULL DEFAULT 0,
  FBegBal decimal(28,10) NOT NULL DEFAULT 0,
  FReceive decimal(28,10) NOT NULL DEFAULT 0,
  FSecReceive decimal(28,10) NOT NULL DEFAULT 0,
  FDebit decimal(28,10) NOT NULL DEFAULT 0,
  FSend decimal(28,10) NOT NULL DEFAULT 0,
  FSecSend decimal(28,10) NOT NULL DEFAULT 0,
  FCredit decimal(28,10) NOT NULL DEFAULT 0,
  FEndQty decimal(28,10) NOT NULL DEFAULT 0,
  FSecEndQty decimal(28,10) NOT NULL DEFAULT 0,
  FEndBal decimal(28,10) NOT NULL DEFAULT 0
)
CREATE INDEX ix_CC_Stock_BatchNo_Key ON t_CC_Stock_BatchNo (FYear, FPeriod, FStockID, FItemID, FBatchNo)

-- Stock on hand, rebuilt by sp_UpdateInventory and checked by CheckInventory.
CREATE TABLE T_CC_Inventory (
  FItemID int NOT NULL,
  FStockID int NOT NULL,
  FBatchNo varchar(255) NOT NULL DEFAULT '',
  FAuxPropID int NOT NULL DEFAULT 0,
  FQty decimal(28,10) NOT NULL DEFAULT 0,
  FSecQty decimal(28,10) NOT NULL DEFAULT 0,
  FBal decimal(28,10) NOT NULL DEFAULT 0,
  FKFDate datetime NULL,
  FKFPeriod int NULL,
  FPeriodDate datetime NULL,
  CONSTRAINT uk_CC_Inventory UNIQUE (FItemID, FStockID, FBatchNo, FAuxPropID)
)

-- Quick balance: running balances of moving-average items (FInterID '') and the
-- lot issues of lot-by-lot items. Exactly these ten columns in this order: the
-- return to an earlier period refills it without a column list.
CREATE TABLE ICSpeedBal (
  FID int NOT NULL DEFAULT 0,
  FInterID varchar(24) NOT NULL DEFAULT '',
  FEntryID int NOT NULL DEFAULT 0,
  FClassTypeID int NOT NULL DEFAULT 0,
  FBillTypeID int NOT NULL DEFAULT 0,
  FDate datetime NOT NULL DEFAULT '1900-01-01',
  FStockID int NOT NULL,
  FItemID int NOT NULL,
  FQty decimal(28,10) NOT NULL DEFAULT 0,
  FAmount decimal(28,10) NOT NULL DEFAULT 0
)
CREATE INDEX ix_ICSpeedBal_Lot ON ICSpeedBal (FItemID, FStockID, FInterID)
GO

-- Work, log, settlement and numbering ----------------------------------------

-- Line costs staged by the costing procedures before they are written to the bills.
CREATE TABLE TempWriteBack (
  FID int NOT NULL DEFAULT 0,
  FEntryID int NOT NULL DEFAULT 0,
  FClassTypeID int NOT NULL DEFAULT 0,
  FItemID int NOT NULL DEFAULT 0,
  FStockID int NOT NULL DEFAULT 0,
  FBatchNo varchar(80) NOT NULL DEFAULT '',
  FQty decimal(28,10) NOT NULL DEFAULT 0,
  FCostAmount decimal(28,10) NOT NULL DEFAULT 0,
  FPrice decimal(28,10) NOT NULL DEFAULT 0
)

-- One row per costing run; FResult 0 = done, -1 = failed.
CREATE TABLE CalculateLog (
  FIndex int IDENTITY(1,1) NOT NULL,
  FTime datetime NOT NULL,
  FItemID int NOT NULL DEFAULT 0,
  FStockID int NOT NULL DEFAULT 0,
  FBatchNo varchar(80) NOT NULL DEFAULT '',
  FResult int NOT NULL DEFAULT 0,
  FMessage varchar(255) NOT NULL DEFAULT '',
  CONSTRAINT pk_CalculateLog PRIMARY KEY (FIndex)
)

-- Cash and bank account balances per period, filled by pr_GetSettleAcctBal.
CREATE TABLE t_SettleAcctBalance (
  FYear int NOT NULL,
  FPeriod int NOT NULL,
  FAcctID int NOT NULL,
  FBegBal decimal(28,10) NOT NULL DEFAULT 0,
  FDebit decimal(28,10) NOT NULL DEFAULT 0,
  FCredit decimal(28,10) NOT NULL DEFAULT 0,
  FEndBal decimal(28,10) NOT NULL DEFAULT 0,
  CONSTRAINT pk_SettleAcctBalance PRIMARY KEY (FYear, FPeriod, FAcctID)
)

-- Id counters behind GetICMaxNum: the last id handed out per table name.
CREATE TABLE t_ICMaxNum (
  FTableName varchar(50) NOT NULL,
  FMaxNum int NOT NULL DEFAULT 0,
  CONSTRAINT pk_ICMaxNum PRIMARY KEY (FTableName)
)
GO
