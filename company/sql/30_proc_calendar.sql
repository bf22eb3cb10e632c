-- Period calendar and id allocation.

-- GetPeriodStartEnd: the first day of a period and the first day after it, from
-- the period calendar t_PeriodDate (whose FEndDate is the period's last day).
-- A period missing from the calendar raises an error (severity 16) instead of
-- answering NULL dates, so that a caller formatting the dates fails loudly.
CREATE PROCEDURE GetPeriodStartEnd
  @aYear int,
  @aPeriod int,
  @aPeriodStart datetime OUTPUT,
  @aPeriodEnd datetime OUTPUT
AS
BEGIN
  SET NOCOUNT ON
  DECLARE @Msg varchar(255)
  SET @aPeriodStart = NULL
  SET @aPeriodEnd = NULL
  SELECT @aPeriodStart = FStartDate, @aPeriodEnd = FEndDate + 1
  FROM t_PeriodDate
  WHERE FYear = @aYear AND FPeriod = @aPeriod
  IF @aPeriodStart IS NULL
  BEGIN
    SET @Msg = '会计期间不存在：' + CONVERT(varchar(12), @aYear) + '年第'
             + CONVERT(varchar(12), @aPeriod) + '期'
    RAISERROR(@Msg, 16, 1)
    RETURN -1
  END
  RETURN 0
END
GO

-- GetICMaxNum: hands out the next internal id of a table. One counter per table
-- name in t_ICMaxNum; a name seen for the first time starts at 1. The counter only
-- grows, so an id is never handed out twice, even after the row that used it was
-- deleted. The increment and the read run in the caller's transaction, so two
-- callers cannot read the same value.
CREATE PROCEDURE GetICMaxNum
  @TableName varchar(50),
  @FInterID int OUTPUT
AS
BEGIN
  SET NOCOUNT ON
  UPDATE t_ICMaxNum SET FMaxNum = FMaxNum + 1 WHERE FTableName = @TableName
  IF @@ROWCOUNT = 0
    INSERT INTO t_ICMaxNum (FTableName, FMaxNum) VALUES (@TableName, 1)
  SELECT @FInterID = FMaxNum FROM t_ICMaxNum WHERE FTableName = @TableName
  RETURN 0
END
GO
